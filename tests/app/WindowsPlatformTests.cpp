// The Windows program against the system's own interfaces, with real processes: the named
// mutex and its message box, the execution-state request, the message beeps and a whole run on
// the simulated laser system. Needs a desktop: Wine on an X server (Xvfb), or Windows itself.
#include "ui/controls/SystemSoundUnit.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int StartMs = 60000; // Wine starts a Qt program in seconds; this is only the bound

bool WaitUntil(const std::function<bool()>& done, int ms = StartMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// Opens, never creates: looking never takes the name from the program.
bool InstanceTokenHeld() {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, L"HALVANE_INSTANCE");
    if (h)
        CloseHandle(h);
    return h != nullptr;
}

QString WindowText(HWND w) {
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return QString::fromWCharArray(text);
}

std::vector<HWND> VisibleWindowsOf(qint64 pid) {
    struct TSearch {
        DWORD Pid;
        std::vector<HWND> Found;
    } search{static_cast<DWORD>(pid), {}};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<TSearch*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->Pid && IsWindowVisible(w))
                s->Found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND WindowOf(const QProcess& p, const QString& titlePart) {
    for (HWND w : VisibleWindowsOf(p.processId()))
        if (WindowText(w).contains(titlePart))
            return w;
    return nullptr;
}

// The texts of a dialog's static controls (a message box's text is one of them).
QStringList StaticTexts(HWND dialog) {
    QStringList texts;
    EnumChildWindows(
        dialog,
        [](HWND c, LPARAM p) -> BOOL {
            wchar_t cls[64] = {};
            GetClassNameW(c, cls, 64);
            if (_wcsicmp(cls, L"Static") == 0)
                reinterpret_cast<QStringList*>(p)->append(WindowText(c));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// The program with real windows, so that the system's calls see them.
void StartHalvane(QProcess& p, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(HALVANE_PATH), arguments);
}

HWND WaitForWindow(const QProcess& p, const QString& titlePart) {
    HWND w = nullptr;
    WaitUntil([&] { return (w = WindowOf(p, titlePart)) != nullptr; });
    return w;
}

} // namespace

// A second start shows the refusal box and ends with 0; a killed first copy blocks no start; a
// copy closed by its close button ends cleanly and gives the name back.
TEST(WindowsProgram, OneCopyAtATimeAndAKilledOneBlocksNothing) {
    ASSERT_FALSE(InstanceTokenHeld()) << "another Halvane runs on this desktop";
    QProcess first;
    StartHalvane(first, {QStringLiteral("--simulator")});
    ASSERT_TRUE(WaitUntil(InstanceTokenHeld));

    QProcess second;
    StartHalvane(second, {});
    ASSERT_TRUE(second.waitForStarted(StartMs));
    const HWND box = WaitForWindow(second, QStringLiteral("Error"));
    ASSERT_NE(box, nullptr) << "no refusal box";
    EXPECT_EQ(WindowText(box), QStringLiteral("Error"));
    EXPECT_TRUE(StaticTexts(box).contains(QStringLiteral("Program is already running!")))
        << StaticTexts(box).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(VisibleWindowsOf(second.processId()).size(), 1u) << "a window beside the box";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(second.waitForFinished(StartMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first copy was disturbed";
    EXPECT_TRUE(InstanceTokenHeld());

    first.kill(); // TerminateProcess: the copy ends as in a crash, nothing of its own runs
    ASSERT_TRUE(first.waitForFinished(StartMs));
    ASSERT_TRUE(WaitUntil([] { return !InstanceTokenHeld(); })) << "the system kept the mutex";

    QProcess next;
    StartHalvane(next, {QStringLiteral("--simulator")});
    const HWND main = WaitForWindow(next, QStringLiteral("SIMULATOR"));
    ASSERT_NE(main, nullptr) << "it did not start: " << next.readAllStandardError().toStdString();
    EXPECT_EQ(WindowOf(next, QStringLiteral("Error")), nullptr);
    EXPECT_TRUE(InstanceTokenHeld());
    PostMessageW(main, WM_CLOSE, 0, 0); // as the window's close button
    ASSERT_TRUE(next.waitForFinished(StartMs));
    EXPECT_EQ(next.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(next.exitCode(), 0);
    EXPECT_FALSE(InstanceTokenHeld());
}

TEST(WindowsExecutionState, HeldForTheWholeRunAndLiftedAtTheEnd) {
    struct TCase {
        const char* Mode;
        QStringList Expected;
    };
    const TCase cases[] = {
        {"run", {"held 80000043", "released 80000000", "exit 80000000"}},
        {"refuse", {"held 80000043", "refused 80000043", "exit 80000000"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mode);
        QProcess probe;
        probe.start(QStringLiteral(EXECUTION_STATE_PROBE_PATH), {QString::fromLatin1(c.Mode)});
        ASSERT_TRUE(probe.waitForFinished(StartMs));
        EXPECT_EQ(probe.exitCode(), 0);
        const QStringList lines =
            QString::fromLatin1(probe.readAllStandardOutput())
                .split(QRegularExpression(QStringLiteral("\\s*\\n")), Qt::SkipEmptyParts);
        EXPECT_EQ(lines, c.Expected);
    }
}

// ---------------------------------------------------------------------------------------------
// The two beeps: this program's import of user32's MessageBeep is pointed at a recorder that
// passes each call on to the system.

namespace {
using PMessageBeep = BOOL(WINAPI*)(UINT);
PMessageBeep SystemMessageBeep = nullptr;
std::vector<UINT> Beeps;

BOOL WINAPI RecordingMessageBeep(UINT type) {
    Beeps.push_back(type);
    return SystemMessageBeep(type);
}

// Swaps this executable's import slot of dll!name; returns what it held.
void* SwapImport(const char* dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&entries->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* held = reinterpret_cast<void*>(entries->u1.Function);
            entries->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&entries->u1.Function, sizeof(void*), old, &old);
            return held;
        }
    }
    return nullptr;
}
} // namespace

TEST(WindowsBeeps, ErrorAndDefaultAreTheSystemsTwoMessageBeeps) {
    SetSystemSoundPlayer({}); // the system's own sounds
    SystemMessageBeep = reinterpret_cast<PMessageBeep>(
        SwapImport("user32.dll", "MessageBeep", reinterpret_cast<void*>(&RecordingMessageBeep)));
    ASSERT_NE(SystemMessageBeep, nullptr) << "the program does not import MessageBeep";
    Beeps.clear();
    PlaySystemSound(TSystemSound::Error);
    PlaySystemSound(TSystemSound::Default);
    SwapImport("user32.dll", "MessageBeep", reinterpret_cast<void*>(SystemMessageBeep));
    EXPECT_EQ(Beeps, (std::vector<UINT>{MB_ICONHAND, MB_OK}));
}
