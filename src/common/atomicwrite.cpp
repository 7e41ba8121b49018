#include "common/atomicwrite.h"

#include <QDir>
#include <QObject>
#include <QSaveFile>

bool writeFileWhole(const QString &path, const QByteArray &bytes, QString *errorMessage)
{
    QSaveFile file(path);
    // A writable file in a folder that is not (a shared install) can only be written in place.
    file.setDirectWriteFallback(true);
    const auto fail = [&](const QString &reason) {
        if (errorMessage)
            *errorMessage = reason;
        file.cancelWriting();
        return false;
    };
    // Unbuffered: a buffered QSaveFile can commit after a short write (a full disk) as if all
    // was written; unbuffered, the short count shows at write() and the save is cancelled.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QObject::tr("Cannot create %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    if (const qint64 written = file.write(bytes); written != bytes.size()) {
        // A short write carries no error of its own; writing the rest shows what stopped it.
        const bool failedAgain = written >= 0 && file.write(bytes.sliced(written)) < 0;
        const QString reason = written < 0 || failedAgain ? file.errorString() : QObject::tr("the disk is full");
        return fail(QObject::tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
    if (!file.commit())
        return fail(QObject::tr("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return true;
}
