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

TEST_F(Console, ATerminalStaysTheConsole) {
    int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    int follower = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(follower, 0);
    std::string notTerminal = testsupport::tempPath("stdout.txt");
    int file = open(notTerminal.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);

    int before = consoleWindowsOf(frame());
    int withTerminal = -1, withFile = -1;
    bool stillTerminal = false;
    {
        StdoutGuard guard;
        dup2(follower, STDOUT_FILENO);
        openConsole(frame());
        withTerminal = consoleWindowsOf(frame());
        stillTerminal = isatty(STDOUT_FILENO);

        dup2(file, STDOUT_FILENO);
        openConsole(frame());
        withFile = consoleWindowsOf(frame());
    }
    EXPECT_EQ(withTerminal, before);
    EXPECT_TRUE(stillTerminal);
    EXPECT_EQ(withFile, before + 1);
    close(follower);
    close(terminal);
    close(file);
}

}  // namespace
