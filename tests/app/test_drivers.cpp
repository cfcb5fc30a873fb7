#include <sys/stat.h>

#include <cmath>
#include <regex>
#include <string>

#include "app/gui_support.h"
#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "support/test_support.h"
#include "views/orp_gl_canvas.h"

using guitest::app;
using guitest::frame;

namespace {

class Drivers : public guitest::GuiTest {
protected:
    // Loads a small closed model and develops it; returns the console output of Develop.
    std::string loadAndDevelop(const std::string& objText = testsupport::cubeObj()) {
        frame()->loadFile(testsupport::writeTempFile("model.obj", objText));
        EXPECT_TRUE(app()->loaded);
        return testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    }
};

const std::regex kTimeLineAtEnd("\n[0-9]+ms\n$");

TEST_F(Drivers, ToolHintsShowOnlyBeforeDevelop) {
    struct HintCase {
        const char* tool;
        const char* status;
    };
    const char* explode = "Drag:Fatten molecules  Shift+Drag: Thin molecules";
    const HintCase cases[] = {
        {"Move", "Plicatrope"},  // no hint: a text that is no hint stays
        {"Cut", "Press Shift to only relocate cut lines."},
        {"Explode", explode},
        {"Move", ""},  // no hint: the previous tool's goes
        {"Explode", explode},
        {"Flood", ""},
        {"Cut", "Press Shift to only relocate cut lines."},
        {"Split ETM", ""},
    };
    for (const HintCase& c : cases) {
        guitest::menuCommand("Tool", c.tool);
        guitest::idleTick();
        EXPECT_EQ(guitest::statusText(), c.status) << c.tool;
    }
}

TEST_F(Drivers, DevelopPrintsItsTimeAndStartsTheConvergenceTiming) {
    std::string out = loadAndDevelop();
    ASSERT_TRUE(app()->developed) << out;
    EXPECT_NE(out.find("\nv:"), std::string::npos) << out;
    EXPECT_TRUE(std::regex_search(out, kTimeLineAtEnd)) << out;
    EXPECT_TRUE(frame()->converging);
    EXPECT_LE(frame()->convergenceStart, currentMillis());
    EXPECT_TRUE(app()->workingModel->prepared);
    EXPECT_FALSE(app()->backupModel->prepared);
    EXPECT_EQ(app()->backupModel->faces.size(), 6u);

    // Develop again keeps the backup and the cut-open model, and times itself again.
    Polyhedron* backup = app()->backupModel;
    size_t faces = app()->workingModel->faces.size();
    frame()->converging = false;
    std::string again = testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    EXPECT_TRUE(std::regex_search(again, kTimeLineAtEnd)) << again;
    EXPECT_EQ(again.find("\nv:"), std::string::npos) << "allocated again";
    EXPECT_EQ(app()->backupModel, backup);
    EXPECT_EQ(app()->backupModel->faces.size(), 6u);
    EXPECT_EQ(app()->workingModel->faces.size(), faces);
    EXPECT_TRUE(frame()->converging);
}

// A model too large for this machine's memory is refused by the core: the
// window stays undeveloped, with the model as loaded and no time line.
TEST_F(Drivers, DevelopRefusedForMemoryLeavesTheModelUndeveloped) {
    frame()->loadFile(testsupport::writeTempFile("model.obj", testsupport::cubeObj()));
    ASSERT_TRUE(app()->loaded);
    LayoutSolver::storageLimitOverride = 1.0;
    std::string out = testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    LayoutSolver::storageLimitOverride = 0.0;
    EXPECT_NE(out.find("too large to develop"), std::string::npos) << out;
    EXPECT_FALSE(std::regex_search(out, kTimeLineAtEnd)) << out;
    EXPECT_FALSE(app()->developed);
    EXPECT_TRUE(app()->loaded);
    EXPECT_FALSE(app()->workingModel->prepared);
    EXPECT_FALSE(frame()->converging);

    // Idle events and timer ticks leave an undeveloped model alone, and it
    // develops once it fits.
    guitest::idleTick();
    guitest::timerTick();
    EXPECT_FALSE(app()->workingModel->creasePattern.built);
    out = testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    EXPECT_TRUE(app()->developed) << out;
}

// A file that is refused while a developed design is open leaves that
// design whole: the same layout is still saved afterwards.
TEST_F(Drivers, ARefusedFileLeavesTheDevelopedDesignToSave) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    // No penalty step, so that the layout stands still while the box is open.
    app()->avoidIntersection = false;
    guitest::timerTick();
    Polyhedron* working = app()->workingModel;
    Polyhedron* backup = app()->backupModel;
    app()->pickedFaces.push_back(&working->faces.front());
    std::string before = testsupport::tempPath("before.dxf");
    frame()->saveFile(before);

    const std::string refused[] = {testsupport::writeTempFile("text.obj", "just some notes\n"),
                                   testsupport::tempPath("no-such-file.obj")};
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        dialogs.boxes.clear();
        testsupport::captureStdout([&] { frame()->loadFile(path); });
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].message, wxString("not supported file type\n") + path);
        EXPECT_EQ(dialogs.boxes[0].caption, "Load Error");
        EXPECT_TRUE(dialogs.boxes[0].loadedWhileOpen);
        EXPECT_TRUE(dialogs.boxes[0].developedWhileOpen);
        EXPECT_TRUE(app()->loaded);
        EXPECT_TRUE(app()->developed);
        EXPECT_EQ(app()->workingModel, working);
        EXPECT_EQ(app()->backupModel, backup);
        EXPECT_EQ(app()->pickedFaces.size(), 1u);
    }

    std::string after = testsupport::tempPath("after.dxf");
    dialogs.fileChoice = after;
    guitest::menuCommand("File", "SaveAs");
    EXPECT_FALSE(testsupport::readFile(before).empty());
    EXPECT_EQ(testsupport::readFile(after), testsupport::readFile(before));
}

// The file dialog asked about the name as typed; ".dxf" is added after it,
// so the question is asked again for the file that would be replaced. (The
// path is handed over as the dialog returns it: the toolkit's own dialog
// would complete the typed name to the existing file and ask by itself.)
TEST_F(Drivers, SaveAsAsksBeforeReplacingTheFileATypedNameBecomes) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    struct AnswerCase {
        int answer;
        bool replaced;
    };
    const AnswerCase cases[] = {{wxID_NO, false}, {wxID_YES, true}};
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.answer == wxID_YES ? "yes" : "no");
        std::string typed = testsupport::tempPath("existing");
        std::string written = testsupport::writeTempFile("existing.dxf", "the user's own file\n");
        dialogs.boxes.clear();
        dialogs.boxAnswer = c.answer;
        app()->saveDir = "/somewhere/else";
        frame()->saveChosenFile(typed);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_NE(dialogs.boxes[0].message.Find(written), wxNOT_FOUND) << dialogs.boxes[0].message;
        EXPECT_TRUE(dialogs.boxes[0].style & wxYES_NO);
        EXPECT_EQ(dialogs.boxes[0].parent, frame());
        EXPECT_EQ(testsupport::readFile(written) != "the user's own file\n", c.replaced);
        EXPECT_FALSE(guitest::fileExists(typed));
        // The next SaveAs starts there, whatever the answer.
        EXPECT_EQ(app()->saveDir, wxPathOnly(typed));
    }
}

// The pick lists of a model that was cut open and then copied back from its
// backup would point into freed elements; the next Move click wrote to them.
TEST_F(Drivers, DevelopRefusedAfterTheCutEmptiesThePicks) {
    frame()->loadFile(testsupport::writeTempFile("sphere.obj", testsupport::sphereObj(1)));
    ASSERT_TRUE(app()->loaded);
    Polyhedron& m = *app()->workingModel;
    // Room for the cut-open model's storage, none for the factors: refused
    // once the model has been cut open. (On a sphere the factors' fill
    // outgrows the slack of the size judged before the cut; on a cube whose
    // cut has its extra path it does not.)
    double P = (double)m.perimeter.size();
    LayoutSolver::storageLimitOverride =
        LayoutSolver::storageBytes((double)m.vertices.size() + P, (double)m.halfEdges.size() / 2.0 + 2.0 * P,
                                   (double)m.faces.size() + P);
    app()->pickedFaces.push_back(&m.faces.front());
    app()->pickedVertices.push_back(&m.vertices.front());
    app()->pickedEdges.push_back(&m.halfEdges.front());
    app()->pickedEtmEdges.push_back(&m.halfEdges.back());
    std::string out = testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    LayoutSolver::storageLimitOverride = 0.0;
    ASSERT_NE(out.find("\nv:"), std::string::npos) << "refused before the cut: " << out;
    EXPECT_NE(out.find("too large to develop"), std::string::npos) << out;
    EXPECT_FALSE(app()->developed);
    EXPECT_FALSE(app()->workingModel->prepared);
    EXPECT_TRUE(app()->pickedFaces.empty());
    EXPECT_TRUE(app()->pickedVertices.empty());
    EXPECT_TRUE(app()->pickedEdges.empty());
    EXPECT_TRUE(app()->pickedEtmEdges.empty());

    // Once it fits, it develops, and a Move click touches only live faces
    // (AddressSanitizer's run of this test catches the old write).
    testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    ASSERT_TRUE(app()->developed);
    guitest::menuCommand("Tool", "Move");
    wxSize size = frame()->patternCanvas->GetClientSize();
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.m_x = size.x / 2;
    down.m_y = size.y / 2;
    down.m_leftDown = true;
    down.SetEventObject(frame()->patternCanvas);
    frame()->patternCanvas->GetEventHandler()->ProcessEvent(down);
    for (Face* f : app()->pickedFaces) EXPECT_TRUE(f->moving);
}

// One idle event sent as the toolkit sends it; whether it asked for the next.
bool idleAsksForMore() {
    wxIdleEvent event;
    testsupport::captureStdout([&] { frame()->GetEventHandler()->ProcessEvent(event); });
    return event.MoreRequested();
}

TEST_F(Drivers, TheIdleLoopRunsOnlyWhileTheLayoutImproves) {
    EXPECT_FALSE(idleAsksForMore()) << "no model";
    frame()->loadFile(testsupport::writeTempFile("octa.obj", testsupport::octahedronObj()));
    EXPECT_FALSE(idleAsksForMore()) << "not developed";
    testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    ASSERT_TRUE(app()->developed);

    app()->avoidIntersection = false;
    EXPECT_FALSE(idleAsksForMore()) << "no penalty option on";
    app()->avoidIntersection = true;

    int ticks = 0;
    while (idleAsksForMore() && ticks < 5000) ++ticks;
    ASSERT_LT(ticks, 5000) << "the layout never settled";
    EXPECT_FALSE(idleAsksForMore()) << "a settled layout stays settled";

    // Thinning the tucks gives the steps work again.
    LayoutSolver& solver = app()->workingModel->solver;
    solver.fattenAt(Vec2(0.0, 0.0), -1.0, 10.0 * (app()->workingModel->extentAt(0.0).x + 1.0));
    EXPECT_TRUE(idleAsksForMore());
}

TEST_F(Drivers, IdleStepsShowTheEfficiencyAndAFiniteFrameRate) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    frame()->patternCanvas->yaw = 30.0;
    for (int i = 0; i < 40; ++i) guitest::idleTick();

    double efficiency = app()->workingModel->efficiencyAt(30.0 * 0.017453292519943295);
    wxString expected = wxString::Format("ef:%g\tfps:%g", efficiency, frame()->fps);
    EXPECT_EQ(guitest::statusText(), expected);
    EXPECT_TRUE(std::isfinite(frame()->fps));
    EXPECT_GT(frame()->fps, 0.0);

    // Sixteen ticks with no time between the samples keep the last rate.
    frame()->fps = 42.0;
    frame()->fpsClock = currentMillis() + 1000000;
    for (int i = 0; i < 17; ++i) guitest::idleTick();
    EXPECT_EQ(frame()->fps, 42.0);
    EXPECT_LE(frame()->fpsClock, currentMillis());
    EXPECT_TRUE(guitest::statusText().StartsWith("ef:"));
}

TEST_F(Drivers, ConvergenceIsReportedOnceAndLowersTheWeights) {
    loadAndDevelop(testsupport::tetrahedronObj());
    ASSERT_TRUE(app()->developed);
    std::string out;
    for (int i = 0; i < 2000 && frame()->converging; ++i)
        out += testsupport::captureStdout([] { guitest::idleTick(); });
    ASSERT_FALSE(frame()->converging) << "no convergence within 2000 idle steps";
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("\ncv:[0-9]+ms\n"))) << out;
    for (int i = 0; i < 20; ++i) out += testsupport::captureStdout([] { guitest::idleTick(); });
    EXPECT_EQ(out.find("cv:"), out.rfind("cv:"));
}

TEST_F(Drivers, TheTimerBuildsTheCreasePatternWhileAnOptionIsOn) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    app()->avoidIntersection = false;
    guitest::timerTick();
    EXPECT_FALSE(app()->workingModel->creasePattern.built) << "all three options off";

    app()->avoidIntersection = true;
    guitest::timerTick();
    EXPECT_TRUE(app()->workingModel->creasePattern.built);
    guitest::timerTick();
    EXPECT_TRUE(app()->workingModel->creasePattern.built);

    // A new load discards the layout and the pattern with the model.
    frame()->loadFile(testsupport::writeTempFile("tetra.obj", testsupport::tetrahedronObj()));
    EXPECT_FALSE(app()->developed);
    EXPECT_FALSE(app()->workingModel->creasePattern.built);
}

TEST_F(Drivers, SaveAsWritesWhatTheExporterWritesForTheViewsRotation) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    guitest::timerTick();
    for (int i = 0; i < 5; ++i) guitest::idleTick();

    struct SaveCase {
        double yaw;
        bool creasePatternOn;
    };
    const SaveCase cases[] = {{0.0, false}, {30.0, true}, {-135.0, false}};
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.yaw);
        app()->creasePatternOn = c.creasePatternOn;
        if (c.creasePatternOn) guitest::timerTick();
        frame()->patternCanvas->yaw = c.yaw;
        std::string saved = testsupport::tempPath("saved.dxf");
        std::string direct = testsupport::tempPath("direct.dxf");
        frame()->saveFile(saved);
        double theta = c.yaw * 0.017453292519943295;
        ASSERT_EQ(exportDXF(*app()->workingModel, !c.creasePatternOn, std::cos(theta), std::sin(theta),
                            direct.c_str()),
                  0);
        std::string a = testsupport::readFile(saved), b = testsupport::readFile(direct);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, b);
    }

    EXPECT_TRUE(dialogs.boxes.empty()) << "a save that worked said it failed";

    // A name typed without an extension is saved with the filter's.
    std::string typed = testsupport::tempPath("typed");
    dialogs.fileChoice = typed;
    guitest::menuCommand("File", "SaveAs");
    EXPECT_FALSE(guitest::fileExists(typed));
    EXPECT_FALSE(testsupport::readFile(typed + ".dxf").empty());

    // A file that cannot be written leaves none behind and says so.
    std::string unwritable = testsupport::tempPath("no-such-dir/pattern.dxf");
    std::string out = testsupport::captureStdout([&] { frame()->saveFile(unwritable); });
    EXPECT_NE(out, "");
    EXPECT_FALSE(guitest::fileExists(unwritable));
}

// A save that fails says so in the window, once and with the path written
// to, and leaves the design as it was; the console line names the cause.
TEST_F(Drivers, ASaveThatFailsSaysSoInTheWindow) {
    loadAndDevelop();
    ASSERT_TRUE(app()->developed);
    guitest::timerTick();
    const std::string notes = testsupport::writeTempFile("notes.txt", "a file, not a folder\n");
    const std::string folder = testsupport::tempPath("folder.dxf");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string missing = testsupport::tempPath("no-such-dir/pattern.dxf");
    struct FailCase {
        const char* what;
        std::string chosen, written;
    };
    // Each fails for root as well.
    const FailCase cases[] = {
        {"a missing folder", missing, missing},
        {"a file taken for a folder", notes + "/pattern.dxf", notes + "/pattern.dxf"},
        {"a folder where the file would go", folder, folder},
        {"a name typed without extension in a missing folder", testsupport::tempPath("no-such-dir/pattern"),
         missing},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.boxes.clear();
        std::string out = testsupport::captureStdout([&] { frame()->saveChosenFile(c.chosen); });
        EXPECT_NE(out.find("could not save the crease pattern to " + c.written), std::string::npos) << out;
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        const guitest::ShownBox& box = dialogs.boxes[0];
        EXPECT_EQ(box.message, wxString("could not save the crease pattern\n") + c.written);
        EXPECT_EQ(box.caption, "Save Error");
        EXPECT_TRUE(box.style & wxOK);
        EXPECT_EQ(box.parent, frame());
        EXPECT_TRUE(box.developedWhileOpen);
        EXPECT_TRUE(app()->developed);
    }
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(testsupport::readFile(notes), "a file, not a folder\n");
}

}  // namespace
