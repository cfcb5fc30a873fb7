#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/app.h>

#include <cstdio>
#include <cstdlib>

#include "app/plicatrope_app.h"

wxIMPLEMENT_APP_NO_MAIN(PlicatropeApp);

// Starts the real program without its event loop, then runs the tests in its
// GUI thread. Each test expects the program as right after start; ctest runs
// every test in a process of its own.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest does it at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (!std::getenv("DISPLAY")) {
        printf("The window tests need an X display; run them under xvfb-run.\n");
        return 1;
    }

    // Started without a terminal, the program sends standard output to its
    // console window; the test report keeps the original one.
    fflush(stdout);
    int report = dup(STDOUT_FILENO);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        printf("The program did not start.\n");
        return 1;
    }
    fflush(stdout);
    dup2(report, STDOUT_FILENO);
    close(report);

    int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
