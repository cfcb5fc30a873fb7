#include <sys/stat.h>
#include <unistd.h>
#include <wx/dir.h>
#include <wx/filefn.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <string>

#include "app/gui_support.h"
#include "app/view_support.h"
#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "support/test_support.h"
#include "views/orp_gl_canvas.h"

using guitest::app;
using guitest::frame;

namespace {

class FileCommands : public guitest::GuiTest {
protected:
    std::string goodFile() { return testsupport::writeTempFile("tetra.obj", testsupport::tetrahedronObj()); }

    // A pick list entry that would dangle once its model is replaced.
    void pickSomething() {
        Polyhedron* m = app()->workingModel;
        ASSERT_NE(m, nullptr);
        app()->pickedFaces.push_back(&m->faces.front());
        app()->pickedVertices.push_back(&m->vertices.front());
        app()->pickedEdges.push_back(&m->halfEdges.front());
        app()->pickedEtmEdges.push_back(&m->halfEdges.back());
    }

    void expectNoPicks() {
        EXPECT_TRUE(app()->pickedFaces.empty());
        EXPECT_TRUE(app()->pickedVertices.empty());
        EXPECT_TRUE(app()->pickedEdges.empty());
        EXPECT_TRUE(app()->pickedEtmEdges.empty());
    }
};

TEST_F(FileCommands, LoadingAGoodFileGivesAFreshUndevelopedModel) {
    std::string path = goodFile();
    frame()->loadFile(path);
    ASSERT_TRUE(app()->loaded);
    pickSomething();
    // A mark on the old model: the new one must not carry it (its address
    // may well be the old one's, reused by the allocator).
    app()->workingModel->faces.front().translation = Vec2(7, 7);

    frame()->loadFile(path);
    EXPECT_TRUE(app()->loaded);
    EXPECT_FALSE(app()->developed);
    ASSERT_NE(app()->workingModel, nullptr);
    ASSERT_NE(app()->backupModel, nullptr);
    EXPECT_EQ(app()->workingModel->faces.front().translation.x, 0.0);
    EXPECT_EQ(app()->workingModel->faces.size(), 4u);
    EXPECT_TRUE(app()->backupModel->faces.empty());
    expectNoPicks();
    EXPECT_TRUE(dialogs.boxes.empty());
    // Only the Open dialog records where files come from.
    EXPECT_TRUE(app()->lastFile.IsEmpty());
    EXPECT_EQ(app()->openDir, wxGetCwd());
}

TEST_F(FileCommands, EveryExampleModelLoads) {
    wxArrayString examples;
    wxDir::GetAllFiles(PLICATROPE_EXAMPLES, &examples, "*.obj", wxDIR_FILES);
    ASSERT_FALSE(examples.empty()) << PLICATROPE_EXAMPLES;
    for (const wxString& path : examples) {
        testsupport::captureStdout([&] { frame()->loadFile(path); });
        EXPECT_TRUE(app()->loaded) << path;
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FileCommands, PathsOutsideAsciiLoad) {
    std::string path =
        testsupport::writeTempFile("mod\xC3\xA8le \xE2\x82\xAC.obj", testsupport::tetrahedronObj());
    frame()->loadFile(wxString::FromUTF8(path.c_str()));
    EXPECT_TRUE(app()->loaded);
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The box is shown and nothing the user had changes: no model stays no
// model, a loaded one stays with its picks.
TEST_F(FileCommands, AFailedLoadShowsTheBoxAndKeepsWhatWasOpen) {
    const std::string bad = testsupport::writeTempFile("broken.obj", "v 0 0 0\nf 1 2 3\n");
    const std::string missing = testsupport::tempPath("no-such-file.obj");
    // Opened for reading, a FIFO would block the window until some writer came.
    const std::string fifo = testsupport::tempPath("fifo.obj");
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A model that would not fit in the memory allowed.
    const std::string large = testsupport::writeTempFile("large.obj", testsupport::sphereObj(2));
    struct Refused {
        std::string path;
        double memoryAllowed;  // 0: this machine's
        const char* says;
    };
    const Refused refused[] = {{bad, 0.0, "line 2: "},
                               {missing, 0.0, "could not open file"},
                               {fifo, 0.0, "not a regular file"},
                               {large, 1.0, "model too large to open (v:162 f:320)"}};
    testsupport::Deadline deadline(60, "loading a FIFO blocked the window");
    for (bool withModel : {false, true}) {
        if (withModel) {
            frame()->loadFile(goodFile());
            pickSomething();
        }
        Polyhedron* working = app()->workingModel;
        Polyhedron* backup = app()->backupModel;
        for (const Refused& r : refused) {
            const std::string& path = r.path;
            SCOPED_TRACE(path + (withModel ? ", with a model" : ", without a model"));
            dialogs.boxes.clear();
            LayoutSolver::storageLimitOverride = r.memoryAllowed;
            const std::string out = testsupport::captureStdout([&] { frame()->loadFile(path); });
            LayoutSolver::storageLimitOverride = 0.0;
            EXPECT_NE(out.find(r.says), std::string::npos) << out;
            ASSERT_EQ(dialogs.boxes.size(), 1u);
            const guitest::ShownBox& box = dialogs.boxes[0];
            EXPECT_EQ(box.message, wxString("not supported file type\n") + path);
            EXPECT_EQ(box.caption, "Load Error");
            EXPECT_TRUE(box.style & wxOK);
            EXPECT_EQ(box.parent, frame());
            EXPECT_EQ(box.loadedWhileOpen, withModel);
            EXPECT_FALSE(box.developedWhileOpen);

            EXPECT_EQ(app()->loaded, withModel);
            EXPECT_FALSE(app()->developed);
            EXPECT_EQ(app()->workingModel, working);
            EXPECT_EQ(app()->backupModel, backup);
            EXPECT_EQ(app()->pickedFaces.size(), withModel ? 1u : 0u);
            EXPECT_EQ(app()->pickedEdges.size(), withModel ? 1u : 0u);
            if (withModel) {
                EXPECT_EQ(working->faces.size(), 4u);
            }
        }
    }
}

TEST_F(FileCommands, PathsWithoutTheExactExtensionAreIgnored) {
    frame()->loadFile(goodFile());
    Polyhedron* model = app()->workingModel;
    const std::string dottedDir = testsupport::tempPath("models.obj");
    mkdir(dottedDir.c_str(), 0700);
    const std::string refused[] = {
        testsupport::writeTempFile("upper.OBJ", testsupport::tetrahedronObj()),
        testsupport::writeTempFile("noextension", testsupport::tetrahedronObj()),
        testsupport::writeTempFile("models.obj/model", testsupport::tetrahedronObj()),
        testsupport::writeTempFile("model.obj.txt", testsupport::tetrahedronObj()),
    };
    for (const std::string& path : refused) {
        std::string out = testsupport::captureStdout([&] { frame()->loadFile(path); });
        EXPECT_EQ(out, "") << path;
        EXPECT_EQ(app()->workingModel, model) << path;
        EXPECT_TRUE(app()->loaded);
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FileCommands, OpenRemembersTheChosenFileWhateverTheLoadDid) {
    std::string good = goodFile();
    std::string refused = testsupport::writeTempFile("CAPS.OBJ", testsupport::tetrahedronObj());
    std::string dir = wxPathOnly(good).ToStdString();

    dialogs.fileChoice = refused;
    guitest::menuCommand("File", "Open");
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].message, "Choose a file to open");
    EXPECT_EQ(dialogs.fileDialogs[0].directory, wxGetCwd());
    EXPECT_EQ(dialogs.fileDialogs[0].wildcard, "Wavefront OBJ files (*.obj)|*.obj");
    EXPECT_FALSE(app()->loaded);
    EXPECT_EQ(app()->lastFile, refused);
    EXPECT_EQ(app()->openDir, dir);

    dialogs.fileChoice = good;
    guitest::menuCommand("File", "Open");
    EXPECT_TRUE(app()->loaded);
    EXPECT_EQ(app()->lastFile, good);
    ASSERT_EQ(dialogs.fileDialogs.size(), 2u);
    EXPECT_EQ(dialogs.fileDialogs[1].directory, dir);

    // Cancelled: nothing changes. Reopen without a file asks like Open.
    dialogs.fileChoice.clear();
    app()->lastFile.clear();
    Polyhedron* model = app()->workingModel;
    guitest::menuCommand("File", "Reopen");
    EXPECT_EQ(dialogs.fileDialogs.size(), 3u);
    EXPECT_EQ(app()->workingModel, model);
    EXPECT_TRUE(app()->lastFile.IsEmpty());
    EXPECT_EQ(app()->openDir, dir);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FileCommands, SaveAsAsksInItsOwnDirectoryAndRemembersIt) {
    std::string target = testsupport::tempPath("chosen.dxf");
    dialogs.fileChoice = target;
    guitest::menuCommand("File", "SaveAs");
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].message, "Input Filename");
    EXPECT_EQ(dialogs.fileDialogs[0].directory, wxGetCwd());
    EXPECT_EQ(dialogs.fileDialogs[0].wildcard, "AutoCAD DXF (*.dxf)|*.dxf");
    EXPECT_EQ(app()->saveDir, wxPathOnly(target));
    EXPECT_FALSE(guitest::fileExists(target)) << "nothing to save without a developed model";
}

TEST_F(FileCommands, ReopenLoadsTheLastChosenFileAndADropLoadsTheFirstDroppedFile) {
    std::string chosen = goodFile();
    app()->lastFile = chosen;
    app()->openDir = "/somewhere";
    guitest::menuCommand("File", "Reopen");
    EXPECT_TRUE(app()->loaded);
    EXPECT_EQ(app()->workingModel->faces.size(), 4u);
    EXPECT_EQ(app()->lastFile, chosen);
    EXPECT_EQ(app()->openDir, "/somewhere");

    std::string cube = testsupport::writeTempFile("cube.obj", testsupport::cubeObj());
    // The event owns its array of names.
    wxString* files = new wxString[2]{cube, "/not/read/either.obj"};
    wxDropFilesEvent drop(wxEVT_DROP_FILES, 2, files);
    frame()->GetEventHandler()->ProcessEvent(drop);
    EXPECT_TRUE(app()->loaded);
    EXPECT_EQ(app()->workingModel->faces.size(), 6u);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(app()->lastFile, chosen);
    EXPECT_EQ(app()->openDir, "/somewhere");

    wxDropFilesEvent empty(wxEVT_DROP_FILES, 0, nullptr);
    frame()->GetEventHandler()->ProcessEvent(empty);
    EXPECT_EQ(app()->workingModel->faces.size(), 6u);
}

// What the user chooses with the wheel and the middle and right buttons.
struct Camera {
    double zoom;
    int wheelRotation;
    Vec3 eye, lookAt;
    Vec2 pan;
    double yaw, pitch, baseYaw, basePitch;
};

Camera cameraOf(const orpGLCanvas* c) {
    // The distance is fitted to the model at every draw.
    Vec3 eye(c->eye.x, c->eye.y, 0.0);
    return Camera{c->zoom, c->wheelRotation, eye,        c->lookAt,   c->pan,
                  c->yaw,  c->pitch,         c->baseYaw, c->basePitch};
}

bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool operator==(const Camera& a, const Camera& b) {
    return a.zoom == b.zoom && a.wheelRotation == b.wheelRotation && a.eye == b.eye && a.lookAt == b.lookAt &&
           a.pan.x == b.pan.x && a.pan.y == b.pan.y && a.yaw == b.yaw && a.pitch == b.pitch &&
           a.baseYaw == b.baseYaw && a.basePitch == b.basePitch;
}

std::ostream& operator<<(std::ostream& out, const Camera& c) {
    return out << "zoom " << c.zoom << " (wheel " << c.wheelRotation << "), eye (" << c.eye.x << ", "
               << c.eye.y << "), look-at (" << c.lookAt.x << ", " << c.lookAt.y << ", " << c.lookAt.z
               << "), pan (" << c.pan.x << ", " << c.pan.y << "), yaw " << c.yaw << "/" << c.baseYaw
               << ", pitch " << c.pitch << "/" << c.basePitch;
}

// Three wheel notches, a turn and a pan, as the mouse gives them.
void moveCamera(orpGLCanvas* c) {
    using namespace viewtest;
    wheel(c, 3 * 120);
    mouse(c, wxEVT_RIGHT_DOWN, 100, 100, Right);
    mouse(c, wxEVT_MOTION, 160, 140, Right);
    mouse(c, wxEVT_RIGHT_UP, 160, 140);
    mouse(c, wxEVT_MIDDLE_DOWN, 100, 100, Middle);
    mouse(c, wxEVT_MOTION, 130, 90, Middle);
    mouse(c, wxEVT_MIDDLE_UP, 130, 90);
}

// A zoom, pan or turn chosen for one model would leave the next cut off or
// out of sight: every model that loads starts both views as they started,
// while a file that is refused leaves them as the user left them.
TEST_F(FileCommands, EachModelThatLoadsStartsBothViewsAfresh) {
    const std::string cube = testsupport::writeTempFile("cube.obj", testsupport::cubeObj());
    const std::string sphere = testsupport::writeTempFile("sphere.obj", testsupport::sphereObj(1));
    const std::string broken = testsupport::writeTempFile("broken.obj", "v 0 0 0\nf 1 2 3\n");
    const std::string capitals = testsupport::writeTempFile("SPHERE.OBJ", testsupport::sphereObj(1));
    auto open = [this](const std::string& path) {
        dialogs.fileChoice = path;
        guitest::menuCommand("File", "Open");
    };
    auto reopen = [](const std::string& path) {
        app()->lastFile = path;
        guitest::menuCommand("File", "Reopen");
    };
    auto drop = [](const std::string& path) {
        // The event owns its array of names.
        wxDropFilesEvent event(wxEVT_DROP_FILES, 1, new wxString[1]{path});
        frame()->GetEventHandler()->ProcessEvent(event);
    };
    struct LoadCase {
        const char* how;
        std::function<void(const std::string&)> load;
        std::string path;
        bool loads;
    };
    const LoadCase cases[] = {
        {"Open", open, sphere, true},
        {"Reopen", reopen, sphere, true},
        {"a drop", drop, sphere, true},
        {"Open of a file the reader refuses", open, broken, false},
        {"a drop of a name in capitals", drop, capitals, false},
    };
    const Camera initial{1.0, 0, Vec3(), Vec3(), Vec2(), 0.0, 0.0, 0.0, 0.0};
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.how);
        frame()->loadFile(cube);
        testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
        ASSERT_TRUE(app()->developed);
        for (orpGLCanvas* view : {frame()->modelCanvas, frame()->patternCanvas}) moveCamera(view);
        const Camera model = cameraOf(frame()->modelCanvas), pattern = cameraOf(frame()->patternCanvas);
        ASSERT_FALSE(model == initial) << model;
        ASSERT_FALSE(pattern == initial) << pattern;

        testsupport::captureStdout([&] { c.load(c.path); });
        // A new model comes undeveloped; a refused file leaves the cube as it was.
        EXPECT_EQ(app()->developed, !c.loads);
        EXPECT_EQ(cameraOf(frame()->modelCanvas), c.loads ? initial : model);
        EXPECT_EQ(cameraOf(frame()->patternCanvas), c.loads ? initial : pattern);
    }
}

TEST_F(FileCommands, CommandsThatNeedADevelopedModelAreSilentWithoutOne) {
    std::string target = testsupport::tempPath("never.dxf");
    for (bool withModel : {false, true}) {
        SCOPED_TRACE(withModel ? "loaded" : "no model");
        if (withModel) frame()->loadFile(goodFile());
        std::string out = testsupport::captureStdout([&] {
            frame()->saveFile(target);
            guitest::menuCommand("Model", "Split extrawide tucks");
            guitest::timerTick();
            guitest::idleTick();
            if (!withModel) guitest::menuCommand("Model", "Develop");
        });
        EXPECT_EQ(out, "");
        EXPECT_FALSE(guitest::fileExists(target));
        EXPECT_FALSE(app()->developed);
        EXPECT_EQ(app()->loaded, withModel);
        if (withModel) {
            EXPECT_FALSE(app()->workingModel->creasePattern.built);
        }
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FileCommands, CloseClearsTheDocumentFlagsButKeepsTheModels) {
    frame()->loadFile(goodFile());
    wxCloseEvent close(wxEVT_CLOSE_WINDOW);
    close.SetCanVeto(true);
    frame()->OnClose(close);
    EXPECT_FALSE(app()->loaded);
    EXPECT_FALSE(app()->developed);
    EXPECT_NE(app()->workingModel, nullptr);
    EXPECT_FALSE(close.GetVeto());
}

}  // namespace
