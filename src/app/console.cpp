#include "app/console.h"

#include <wx/display.h>
#include <wx/filename.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const int kTailIntervalMs = 100;
// Each tick wakes the main window's idle handler, which redraws both views;
// while nothing is printed the window looks less and less often, up to this.
const int kQuietTailIntervalMs = 1000;
// Enough to keep up with any console output of the program in one tick,
// small enough that one tick never stalls the idle loop.
const size_t kMaxBytesPerTick = 4 << 20;
// The window keeps the newest output; a long session of per-frame messages
// must not grow it without bound.
const long kMaxShownChars = 4L << 20;
const int kGap = 8;

}  // namespace

size_t completeUtf8Prefix(const std::string& bytes) {
    size_t n = bytes.size();
    for (size_t back = 1; back <= 4 && back <= n; ++back) {
        unsigned char c = (unsigned char)bytes[n - back];
        if ((c & 0xC0) == 0x80) continue;  // continuation byte: keep looking for the lead
        size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return length > back ? n - back : n;
    }
    return n;
}

#ifdef _WIN32

void openConsole(wxFrame*) {
    AllocConsole();
    freopen("CONOUT$", "w", stdout);
    freopen("CONIN$", "r", stdin);
}

#else

namespace {

// A terminal, a file or a pipe is where the user sent the output; anything
// else (nothing at all, /dev/null, a desktop session's journal) is not read
// by anyone beside the window.
bool outputIsKept() {
    if (isatty(STDOUT_FILENO)) return true;
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0) return false;
    return S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode);
}

}  // namespace

void openConsole(wxFrame* owner) {
    if (outputIsKept()) {
        // Whoever follows the file or the pipe sees each line as it comes.
        if (!isatty(STDOUT_FILENO)) {
            fflush(stdout);
            setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
        }
        return;
    }
    ConsoleWindow::create(owner);
}

ConsoleWindow* ConsoleWindow::create(wxFrame* owner) {
    std::string pattern = std::string(wxFileName::GetTempDir().fn_str()) + "/plicatrope-console-XXXXXX";
    int logFd = mkstemp(&pattern[0]);
    if (logFd < 0) return nullptr;
    int readFd = open(pattern.c_str(), O_RDONLY | O_CLOEXEC);
    // Nothing is left behind, however the program ends.
    unlink(pattern.c_str());
    if (readFd < 0) {
        close(logFd);
        return nullptr;
    }
    // Appending lets the window empty the file once it has read all of it.
    fcntl(logFd, F_SETFL, fcntl(logFd, F_GETFL) | O_APPEND);
    fcntl(logFd, F_SETFD, FD_CLOEXEC);
    fflush(stdout);
    if (dup2(logFd, STDOUT_FILENO) < 0) {
        close(logFd);
        close(readFd);
        return nullptr;
    }
    return new ConsoleWindow(owner, logFd, readFd);
}

ConsoleWindow::ConsoleWindow(wxFrame* owner, int logFd_, int readFd_)
    : wxFrame(owner, wxID_ANY, wxT("Plicatrope console"), wxDefaultPosition, wxSize(560, 400),
              wxDEFAULT_FRAME_STYLE & ~wxCLOSE_BOX),
      text(nullptr),
      tailTimer(this),
      logFd(logFd_),
      readFd(readFd_),
      placed(false) {
    text = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                          wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    text->SetFont(wxFont(wxFontInfo(9).Family(wxFONTFAMILY_TELETYPE)));
    Connect(wxEVT_CLOSE_WINDOW, wxCloseEventHandler(ConsoleWindow::OnClose));
    Connect(tailTimer.GetId(), wxEVT_TIMER, wxTimerEventHandler(ConsoleWindow::OnTailTimer));
    tailTimer.Start(kTailIntervalMs, wxTIMER_CONTINUOUS);
}

ConsoleWindow::~ConsoleWindow() {
    tailTimer.Stop();
    close(readFd);
    if (logFd != STDOUT_FILENO) close(logFd);
}

// The first tick comes once the event loop runs, when the main window has
// its place on the screen.
void ConsoleWindow::OnTailTimer(wxTimerEvent&) {
    if (!placed) placeBesideOwner();
    int interval = drain() ? kTailIntervalMs : std::min(2 * tailTimer.GetInterval(), kQuietTailIntervalMs);
    if (interval != tailTimer.GetInterval()) tailTimer.Start(interval, wxTIMER_CONTINUOUS);
}

// Like a console of the system, it lives as long as the program.
void ConsoleWindow::OnClose(wxCloseEvent& event) {
    if (event.CanVeto())
        event.Veto();
    else
        Destroy();
}

void ConsoleWindow::placeBesideOwner() {
    placed = true;
    wxRect owner = GetParent()->GetScreenRect();
    int display = wxDisplay::GetFromWindow(GetParent());
    wxRect area = wxDisplay(display == wxNOT_FOUND ? 0u : (unsigned)display).GetClientArea();
    wxSize size = GetSize();
    wxPoint right(owner.GetRight() + kGap, owner.GetTop());
    wxPoint below(owner.GetLeft(), owner.GetBottom() + kGap);
    if (area.Contains(wxRect(right, size))) {
        Move(right);
    } else if (area.Contains(wxRect(below, wxSize(size.x, 200)))) {
        SetSize(wxRect(below, wxSize(size.x, std::min(size.y, area.GetBottom() - below.y))));
    } else {
        Move(wxPoint(std::max(area.GetLeft(), area.GetRight() - size.x), owner.GetTop()));
    }
    Show(true);
}

bool ConsoleWindow::drain() {
    fflush(stdout);
    std::string bytes;
    bytes.swap(pending);
    char buffer[65536];
    size_t taken = 0;
    bool atEnd = false;
    while (taken < kMaxBytesPerTick) {
        ssize_t n = read(readFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            atEnd = n == 0;
            break;
        }
        bytes.append(buffer, (size_t)n);
        taken += (size_t)n;
    }
    // Everything written so far has been read: start the file afresh, so it
    // never grows beyond one tick's output.
    if (atEnd && ftruncate(logFd, 0) == 0) lseek(readFd, 0, SEEK_SET);

    size_t complete = completeUtf8Prefix(bytes);
    pending = bytes.substr(complete);
    bytes.resize(complete);
    if (!bytes.empty()) append(bytes);
    return taken > 0;
}

void ConsoleWindow::append(const std::string& bytes) {
    wxString shown = wxString::FromUTF8(bytes.data(), bytes.size());
    // Not UTF-8 (an OBJ file echoed in another encoding, say): show the bytes.
    if (shown.empty()) shown = wxString::From8BitData(bytes.data(), bytes.size());
    text->AppendText(shown);
    long length = text->GetLastPosition();
    if (length > kMaxShownChars) text->Remove(0, length - kMaxShownChars * 3 / 4);
}

#endif
