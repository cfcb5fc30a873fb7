#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/textctrl.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/console.h"
#include "app/gui_support.h"
#include "support/test_support.h"

using guitest::frame;

namespace {

TEST(ConsoleText, KeepsAnIncompleteUtf8SequenceForTheNextRead) {
    struct Case {
        std::string bytes;
        size_t complete;
    };
    const Case cases[] = {
        {"", 0},         {"abc\n", 4},         {"caf\xC3", 3},      {"caf\xC3\xA9", 5},
        {"\xE2\x82", 0}, {"1\xE2\x82\xAC", 4}, {"\xF0\x9F\x98", 0}, {"\xF0\x9F\x98\x80", 4},
        {"\x80\x80", 2},  // not UTF-8 at all: passed on as it is
    };
    for (const Case& c : cases) EXPECT_EQ(completeUtf8Prefix(c.bytes), c.complete) << c.bytes;
}

// Standard output as the test report needs it, whatever a test did to it.
class StdoutGuard {
public:
    StdoutGuard() : saved(dup(STDOUT_FILENO)) { fflush(stdout); }
    void restore() {
        fflush(stdout);
        std::cout.flush();
        dup2(saved, STDOUT_FILENO);
    }
    ~StdoutGuard() {
        restore();
        close(saved);
    }

private:
    int saved;
};

int consoleWindowsOf(wxWindow* owner) {
    int n = 0;
    for (wxWindow* child : owner->GetChildren())
        if (dynamic_cast<ConsoleWindow*>(child) && !child->IsBeingDeleted()) ++n;
    return n;
}

class Console : public guitest::GuiTest {};

TEST_F(Console, WindowShowsEverythingPrintedAndKeepsItsFileSmall) {
    std::string shownFirst, shownSecond, shownLarge;
    off_t sizeAfterDrain = -1;
    size_t largeLength = 0;
    {
        StdoutGuard guard;
        ConsoleWindow* console = ConsoleWindow::create(frame());
        ASSERT_NE(console, nullptr);

        printf("v:4 e:6 ");
        std::cout << "f:4" << std::endl;
        printf("caf\xC3");
        console->drain();
        shownFirst = console->text->GetValue().ToStdString(wxConvUTF8);
        printf("\xA9\n");
        console->drain();
        shownSecond = console->text->GetValue().ToStdString(wxConvUTF8);

        std::string line(99, '.');
        for (int i = 0; i < 20000; ++i) printf("%s\n", line.c_str());
        for (int i = 0; i < 10; ++i) console->drain();
        struct stat st;
        if (fstat(console->logFd, &st) == 0) sizeAfterDrain = st.st_size;
        largeLength = (size_t)console->text->GetLastPosition();
        shownLarge = console->text->GetRange(largeLength - 5, largeLength).ToStdString();

        guard.restore();
        console->Destroy();
    }
    EXPECT_EQ(shownFirst, "v:4 e:6 f:4\ncaf");
    EXPECT_EQ(shownSecond, "v:4 e:6 f:4\ncaf\xC3\xA9\n");
    EXPECT_EQ(largeLength, 17u + 20000u * 100u);
    EXPECT_EQ(shownLarge, "....\n");
    EXPECT_EQ(sizeAfterDrain, 0);
}

// Each tick of the window wakes the main window's idle handler: a quiet
// console ticks less and less often, and quickly again once output comes.
TEST_F(Console, TicksRarelyWhileNothingIsPrinted) {
    int quiet = -1, busy = -1;
    std::string shown;
    {
        StdoutGuard guard;
        ConsoleWindow* console = ConsoleWindow::create(frame());
        ASSERT_NE(console, nullptr);
        wxTimerEvent tick(console->tailTimer);
        for (int i = 0; i < 10; ++i) console->OnTailTimer(tick);
        quiet = console->tailTimer.GetInterval();
        printf("cv:5ms\n");
        console->OnTailTimer(tick);
        busy = console->tailTimer.GetInterval();
        shown = console->text->GetValue().ToStdString();
        guard.restore();
        console->Destroy();
    }
    EXPECT_EQ(quiet, 1000);
    EXPECT_EQ(busy, 100);
    EXPECT_EQ(shown, "cv:5ms\n");
}

// What a descriptor holds once what was written to it has arrived.
std::string readAvailable(int fd) {
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, (size_t)n);
    return bytes;
}

// Output sent to a terminal, a file or a pipe lands there, line by line as
// it is printed; only output sent nowhere gets the console window.
TEST_F(Console, OutputStaysWhereItWasSent) {
    int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    int follower = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(follower, 0);
    std::string log = testsupport::tempPath("log.txt");
    int file = open(log.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    int fileReader = open(log.c_str(), O_RDONLY);
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK), 0);
    int nowhere = open("/dev/null", O_WRONLY);
    ASSERT_GE(nowhere, 0);

    struct Target {
        const char* name;
        int output, reader;
        bool window;
    };
    const Target targets[] = {
        {"file", file, fileReader, false},
        {"pipe", pipeEnds[1], pipeEnds[0], false},
        {"terminal", follower, terminal, false},
        {"nowhere", nowhere, -1, true},
    };
    for (const Target& t : targets) {
        int before = consoleWindowsOf(frame());
        int after = -1;
        std::string line = std::string("cv:12ms to the ") + t.name + "\n";
        {
            StdoutGuard guard;
            dup2(t.output, STDOUT_FILENO);
            openConsole(frame());
            after = consoleWindowsOf(frame());
            printf("%s", line.c_str());
            // A terminal is line-buffered by the C library itself.
            if (t.reader == terminal) fflush(stdout);
            if (t.reader >= 0) {
                std::string arrived = readAvailable(t.reader);
                EXPECT_NE(arrived.find(line.substr(0, line.size() - 1)), std::string::npos)
                    << t.name << ": " << arrived;
            }
        }
        EXPECT_EQ(after, before + (t.window ? 1 : 0)) << t.name;
    }
    for (int fd : {follower, terminal, file, fileReader, pipeEnds[0], pipeEnds[1], nowhere}) close(fd);
}

}  // namespace
