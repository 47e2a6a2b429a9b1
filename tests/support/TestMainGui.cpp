// Entry point of the widget tests: a QApplication (offscreen platform) for windows and controls,
// with three screens: a large primary one, a 1366 x 768 laptop and 1920 x 1080 at 150 %.
#include <QApplication>
#include <QDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // Qt cuts the platform's arguments at every colon, a drive letter's too: on Windows the file
    // is made in the current folder and named relative to it.
    QTemporaryFile screens(
        QDir::current().filePath(QStringLiteral("offscreen-screens-XXXXXX.json")));
    const auto name = [&] { return QDir::current().relativeFilePath(screens.fileName()); };
#else
    QTemporaryFile screens;
    const auto name = [&] { return screens.fileName(); };
#endif
    QByteArray platform("offscreen");
    if (screens.open() && screens.write(R"({"screens": [
            {"name": "Desktop", "x": 0, "y": 0, "width": 1920, "height": 1200},
            {"name": "Laptop", "x": 1920, "y": 0, "width": 1366, "height": 768},
            {"name": "Scaled", "x": 3286, "y": 0, "width": 1920, "height": 1080,
             "logicalDpi": 144}]})") > 0 &&
        screens.flush())
        platform += ":configfile=" + name().toLocal8Bit();
    qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
