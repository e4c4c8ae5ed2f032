// Makes pinnit's link clicks observable without starting a browser.
#ifndef PINNIT_TESTS_SHELLOPEN_H
#define PINNIT_TESTS_SHELLOPEN_H

#include <windows.h>

#include <string>
#include <vector>

#include "peimage.h"
#include "rig.h"

// Makes the recorder the shell's open handler for http and mailto while it lives, so
// a click on a link is written down and no browser or mail program starts.
class ShellOpenRecorder
{
public:
    ShellOpenRecorder()
    {
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        m_log = std::string(temp) + "pinnit-opened.txt";
        DeleteFileA(m_log.c_str());
        std::string command =
            "\"" + ExecutableBeside("pinnit_recorder.exe") + "\" \"" + m_log + "\" \"%1\"";
        for (const char *key : KEYS)
        {
            char saved[MAX_PATH * 2] = "";
            LONG size = sizeof saved;
            RegQueryValueA(HKEY_CLASSES_ROOT, key, saved, &size);
            m_saved.push_back(saved);
            m_registered = RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, command.c_str(),
                                        DWORD(command.size())) == ERROR_SUCCESS;
        }
    }

    ~ShellOpenRecorder()
    {
        for (size_t i = 0; i < m_saved.size(); i++)
            RegSetValueA(HKEY_CLASSES_ROOT, KEYS[i], REG_SZ, m_saved[i].c_str(),
                         DWORD(m_saved[i].size()));
        DeleteFileA(m_log.c_str());
    }

    bool Registered() const { return m_registered; }

    // Every target the shell was asked to open so far, oldest first.
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines;
        HANDLE file = CreateFileA(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return lines;
        std::string text(64 * 1024, '\0');
        DWORD read = 0;
        ReadFile(file, &text[0], DWORD(text.size()), &read, NULL);
        CloseHandle(file);
        text.resize(read);
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

private:
    static constexpr const char *KEYS[] = {"http\\shell\\open\\command", "mailto\\shell\\open\\command"};
    std::string m_log;
    std::vector<std::string> m_saved;
    bool m_registered = false;
};

// pinnit's visible About box, NULL when none is open.
inline HWND FindAboutBox(DWORD pid)
{
    return FindTopLevelWindow("#32770", "About", pid, true);
}

#endif
