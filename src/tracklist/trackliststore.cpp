#include "tracklist/trackliststore.h"

#include "tracklist/tracklistfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

TrackListStore::TrackListStore(const QString &programFolder, QObject *parent)
    : TrackStore(parent),
      m_programFolder(programFolder)
{ }

TrackListLocation TrackListStore::locate(const QString &besidePath, bool systemFolder, bool besideFolderWritable,
                                         bool besideExists, bool besideWritable, const QString &userPath,
                                         bool userExists)
{
    if (!systemFolder && (besideFolderWritable || (besideExists && besideWritable)))
        return {besidePath, besidePath};
    return {userExists ? userPath : besidePath, userPath};
}

TrackListLocation TrackListStore::location() const
{
    const QString beside = TrackListFile::pathIn(m_programFolder);
    const QFileInfo besideInfo(beside);
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const QString user = userFolder.isEmpty() ? beside : TrackListFile::pathIn(userFolder);
    return locate(beside, isSystemProgramFolder(m_programFolder), QFileInfo(m_programFolder).isWritable(),
                  besideInfo.exists(), besideInfo.isWritable(), user, QFileInfo(user).isFile());
}

bool TrackListStore::isSystemProgramFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString &system : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"), QStringLiteral("/bin"),
                                  QStringLiteral("/usr/games"), QStringLiteral(KELVO_INSTALL_FULL_BINDIR)}) {
        if (QFileInfo(system).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}

QList<TrackSlot> TrackListStore::load() const
{
    return TrackListFile::read(location().readPath);
}

bool TrackListStore::save(const TrackList &tracks, QString *errorMessage)
{
    const QString path = location().savePath;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (errorMessage)
            *errorMessage = tr("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!TrackListFile::write(path, tracks, errorMessage))
        return false;
    emit saved(tracks);
    return true;
}

void TrackListStore::removeStaleTemporaries() const
{
    TrackListFile::removeStaleTemporaries(QFileInfo(location().savePath).absolutePath());
}
