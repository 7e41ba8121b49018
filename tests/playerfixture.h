#pragma once

#include "fakemediaplayer.h"
#include "engine/audiomediaplayer.h"
#include "fakeopendialog.h"
#include "common/settings.h"
#include "player/form1.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

// The set-up the window tests share: a temporary program folder, its track-list file, and a
// player window over it driven by a scripted media player and Open dialog.
class PlayerFixture
{
public:
    QString folder() const { return m_folder.path(); }
    QString trackListPath() const { return TrackListFile::pathIn(m_folder.path()); }

    // The window over the folder, whose track-list file holds trackList (none: no file). With
    // no player given, a FakeMediaPlayer (then in player) drives it; the Open dialog is a
    // FakeOpenDialog (in dialog).
    std::unique_ptr<Form1> makeWindow(const std::optional<QByteArray> &trackList,
                                      std::unique_ptr<MediaPlayer> mediaPlayer = nullptr)
    {
        QFile::remove(trackListPath());
        QFile::remove(QDir(folder()).filePath(QStringLiteral("Quorbel.kelvo"))); // the default show's pages
        if (trackList)
            writeBytes(trackListPath(), *trackList);
        if (!mediaPlayer) {
            auto fake = std::make_unique<FakeMediaPlayer>();
            player = fake.get();
            mediaPlayer = std::move(fake);
        }
        auto openDialog = std::make_unique<FakeOpenDialog>();
        dialog = openDialog.get();
        return std::make_unique<Form1>(std::move(mediaPlayer), std::move(openDialog), folder());
    }

    // The same, shown and exposed.
    std::unique_ptr<Form1> showWindow(const std::optional<QByteArray> &trackList,
                                      std::unique_ptr<MediaPlayer> mediaPlayer = nullptr)
    {
        std::unique_ptr<Form1> window = makeWindow(trackList, std::move(mediaPlayer));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the player window was not exposed");
        return window;
    }

    // Track-list lines for count slots: pattern's %1 is the slot index, for path and name.
    static QByteArray records(int count, const QString &path = QStringLiteral("/music/t%1.mp3"),
                              const QString &name = QStringLiteral("Name %1"))
    {
        QByteArray bytes;
        for (int n = 0; n < count; ++n)
            bytes += QStringLiteral("\"%1\",\"%2\"\r\n").arg(path.arg(n), name.arg(n)).toUtf8();
        return bytes;
    }

    // The real player window, shown, over a show in folder of one page (its JSON, carts' files
    // relative to folder), opened as the show the program last ended with; nothing when the show
    // could not be written. The caller forgets the last show when done.
    static std::unique_ptr<Form1> realWindowOnShow(const QString &folder, const QString &page)
    {
        const QString showFile = QDir(folder).filePath(QStringLiteral("show.kelvo"));
        if (!writeBytes(showFile, QStringLiteral(R"({"kelvo-show": 1, "pages": [%1]})").arg(page).toUtf8()))
            return nullptr;
        Settings().setLastShow(showFile);
        auto window = std::make_unique<Form1>(std::make_unique<AudioMediaPlayer>(), std::make_unique<FakeOpenDialog>(),
                                              folder);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the player window was not exposed");
        return window;
    }

    FakeMediaPlayer *player = nullptr;
    FakeOpenDialog *dialog = nullptr;

private:
    QTemporaryDir m_folder;
};
