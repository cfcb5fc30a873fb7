#ifndef PLICATROPE_APP_CONSOLE_H
#define PLICATROPE_APP_CONSOLE_H

#include <wx/frame.h>
#include <wx/timer.h>

#include <cstddef>
#include <string>

class wxTextCtrl;

// Makes everything printed on standard output from now on visible beside the
// main window. Output sent to a terminal, a file or a pipe stays there; a
// program started without any of them (from a desktop launcher) gets a
// console window of its own, a child of `owner`.
void openConsole(wxFrame* owner);

// The console window. Standard output is redirected to a scratch file that
// the window tails on a timer: the GUI thread, which does all the printing,
// never waits for a reader, and nothing printed is lost in between.
class ConsoleWindow : public wxFrame {
public:
    wxTextCtrl* text;
    wxTimer tailTimer;
    int logFd;            // the scratch file, shared with standard output
    int readFd;           // our own read position in it
    bool placed;          // shown beside the owner yet
    std::string pending;  // an incomplete UTF-8 sequence left by the last read

    // Takes over standard output. Returns null, changing nothing, when no
    // scratch file can be made.
    static ConsoleWindow* create(wxFrame* owner);
    virtual ~ConsoleWindow();

    // Moves what was printed since the last call into the window; false
    // when nothing was.
    bool drain();

    void OnTailTimer(wxTimerEvent& event);
    void OnClose(wxCloseEvent& event);

private:
    ConsoleWindow(wxFrame* owner, int logFd, int readFd);
    void append(const std::string& bytes);
    void placeBesideOwner();
};

// Length of the longest prefix of `bytes` that does not end inside a UTF-8
// sequence; the rest waits for the next read.
size_t completeUtf8Prefix(const std::string& bytes);

#endif
