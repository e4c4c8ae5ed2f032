// Drives the real pinnit.exe inside the Wine desktop the way a user does: real
// mouse and key input, results read back with Win32 calls. Every wait has a
// timeout, and a Pinnit ends the process it started if the test did not.
#ifndef PINNIT_TESTS_RIG_H
#define PINNIT_TESTS_RIG_H

#include <windows.h>

#include <functional>
#include <string>

const DWORD WAIT_MS = 5000;

// Polls the condition (pumping this thread's messages) until it holds or the time is up.
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = WAIT_MS);

// Whether the window's thread takes a sent message within half a minute: once it
// does, it has handled everything it was sent or posted before.
inline bool Answers(HWND hwnd)
{
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 6 * WAIT_MS, NULL) != 0;
}

// Runs every message already sent or posted to this thread.
void DrainMessages(void);

// The first top-level window of the class, and of the title unless it is NULL, that
// the process (any, for 0) owns. Found by enumerating the top-level windows, never
// with FindWindowEx from a window found before: Wine 10's server walks from that
// window to the end of the z-order list, and loops for good when the window is
// not in that list but in its parent's list of windows not yet (or no longer) in it.
HWND FindTopLevelWindow(const char *className, const char *title, DWORD pid, bool visibleOnly = false);
HWND WaitForVisibleWindow(const char *className, DWORD pid, DWORD timeoutMs = WAIT_MS);

void Click(POINT at, bool right = false);
void DoubleClick(POINT at);
// Presses the left button at from, moves to to with it held, and lets go there.
void Drag(POINT from, POINT to);
void MoveTo(POINT at);
// Presses the key, with the modifier held down unless it is 0.
void PressKeys(WORD modifier, WORD vk);
inline void PressKey(WORD vk) { PressKeys(0, vk); }

class Pinnit
{
public:
    Pinnit() = default;
    Pinnit(const Pinnit &) = delete;
    Pinnit &operator=(const Pinnit &) = delete;
    ~Pinnit() { End(); }

    // Starts pinnit.exe (ending the one it started before, if any) and waits until its
    // main window exists, its icon is in the tray, and it and the taskbar answer.
    bool Start(const std::string &arguments = "");
    // Starts pinnit.exe alone, as at log-on, and waits for its main window only.
    bool StartAlone();
    // Waits for the process to end and returns its exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs = WAIT_MS);
    bool Running() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT; }
    // Milliseconds from creating the process to its icon being in the tray.
    double StartupMs() const { return m_startupMs; }

    HWND MainWindow() const { return m_main; }
    DWORD Pid() const { return m_process.dwProcessId; }
    HANDLE Process() const { return m_process.hProcess; }

    bool IconPresent() const;
    POINT IconPoint() const;

    void ClickIcon(bool right) const { Click(IconPoint(), right); }

    // The window list dialog, shown or not, and where it is.
    HWND List() const { return FindTopLevelWindow("#32770", "pinnit", Pid()); }
    RECT ListFrame() const
    {
        RECT frame = {};
        GetWindowRect(List(), &frame);
        return frame;
    }
    // Left-clicks the icon and waits for the window list to be visible; NULL if it is not.
    HWND ShowList() const;

private:
    // Ends the process if it still runs, and forgets it.
    void End();
    bool FindMainWindow() { return (m_main = FindTopLevelWindow("pinnit", "pinnit", Pid())) != NULL; }

    PROCESS_INFORMATION m_process = {};
    HWND m_main = NULL;
    double m_startupMs = 0;
};

// Whether the process runs 64-bit code: on 64-bit Windows, where this 32-bit rig
// runs under WoW64, every process that does not is 64-bit.
bool Is64BitProcess(HANDLE process);

// -1 where the window has no row.
int RowOf(HWND list, HWND window);
// The row's text; empty for a row longer than 1023 characters.
std::string RowText(HWND list, int row);
// The middle of the row on screen, scrolled into view first.
POINT RowPoint(HWND list, int row);
POINT CloseButtonPoint(HWND dialog);

std::string WindowText(HWND hwnd);

#endif
