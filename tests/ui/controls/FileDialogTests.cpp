// The open and save dialogs browse a folder without reading any file in it: a folder holding a
// named pipe nobody writes to, and files whose kind only their content would tell.
#include "app/LogUnit.h"
#include "ui/firmware/FirmwareUpdateViewUnit.h"
#include "ui/main/SaveDialogUnit.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

// Every open of a file inside one folder; reading a file's content starts with one.
struct TOpenWatch {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    explicit TOpenWatch(const QString& folder) {
        inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
    }
    ~TOpenWatch() { ::close(fd); }
    QStringList Opened() const {
        QStringList names;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(at);
                if (e->len > 0 && !(e->mask & IN_ISDIR)) // the folder's own listing is no read
                    names << QString::fromLocal8Bit(e->name);
                at += sizeof(inotify_event) + e->len;
            }
        return names;
    }
};

struct TFolder {
    QTemporaryDir dir;
    TFolder() {
        Write("picture", "\x89PNG\r\n\x1a\n"); // no extension: only the content tells
        Write("script", "#!/bin/sh\n");
        Write("notes.txt", "text\n");
        Write("image.hex1", ":00000001FF\n");
        ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600);
    }
    void Write(const char* name, const QByteArray& content) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    }
};

// Opens a dialog, lets it list the folder with everything a view asks of each row (name, size,
// type, date, icon), and cancels it. Returns false when no dialog showed or the list stayed short.
bool BrowseAndCancel(const std::function<void()>& open, const QString& folder) {
    bool listed = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QFileDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible())
                dialog = d;
        if (!dialog)
            return;
        poll.stop();
        dialog->setDirectory(folder);
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (model) {
            const QModelIndex root = model->index(folder);
            // The pipe is a system file the dialog does not list; it stays in the folder all the
            // same.
            listed = QTest::qWaitFor([&] { return model->rowCount(root) == 4; }, 10000);
            for (int row = 0; row < model->rowCount(root); ++row)
                for (int column = 0; column < model->columnCount(root); ++column) {
                    const QModelIndex i = model->index(row, column, root);
                    (void)model->data(i, Qt::DisplayRole);
                    (void)model->data(i, Qt::DecorationRole);
                }
            // The model's gathering thread has given every row its kind (the icon provider's
            // type, where a file would be read if its content had to tell).
            listed = listed && QTest::qWaitFor(
                                   [&] {
                                       for (int row = 0; row < model->rowCount(root); ++row)
                                           if (model->type(model->index(row, 0, root)).isEmpty())
                                               return false;
                                       return true;
                                   },
                                   10000);
        }
        dialog->reject();
    });
    poll.start();
    open();
    return listed;
}

} // namespace

TEST(FileDialogs, BrowsingAFolderReadsNoFileInIt) {
    TFolder folder;
    ASSERT_TRUE(folder.dir.isValid());
    const QString path = folder.dir.path();
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"save", [] { EXPECT_TRUE(ShowSaveDialog(nullptr, TSaveDialogRequest{}).isEmpty()); }},
        {"open",
         [] {
             TServiceMasterFirmwareUpdateView view;
             view.SelectPath();
         }},
    };
    for (const auto& [name, open] : dialogs) {
        TOpenWatch watch(path);
        EXPECT_TRUE(BrowseAndCancel(open, path)) << name;
        EXPECT_EQ(watch.Opened().join(QLatin1Char(' ')).toStdString(), "") << name;
    }
}
