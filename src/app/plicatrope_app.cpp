#include "app/plicatrope_app.h"

#include <wx/filefn.h>

#include "app/main_frame.h"
#include "solver/pipeline.h"

PlicatropeApp::PlicatropeApp()
    : frame(nullptr),
      showTuckProxy(false),
      showRealTuck(true),
      showFacets(true),
      showEdges(true),
      loaded(false),
      developed(false),
      creasePatternOn(false),
      avoidIntersection(true),
      angleCondition(false),
      toolMode(ToolMove),
      workingModel(nullptr),
      backupModel(nullptr) {
    openDir = wxGetCwd();
    saveDir = wxGetCwd();
}

// The models are left to the end of the process, as the views may still be
// drawn while the toolkit tears the windows down.
PlicatropeApp::~PlicatropeApp() { clearPicks(); }

// The base's OnInit is not called: it would parse the command line, and the
// program takes no arguments.
bool PlicatropeApp::OnInit() {
    MainFrame* created = new MainFrame(wxT("Plicatrope"));
    frame = created;
    frame->Show(true);
    return true;
}

void PlicatropeApp::clearPicks() {
    pickedFaces.clear();
    pickedVertices.clear();
    pickedEdges.clear();
    pickedEtmEdges.clear();
}

SolverOptions PlicatropeApp::solverOptions() const {
    SolverOptions options;
    options.avoidIntersection = avoidIntersection;
    options.angleCondition = angleCondition;
    options.creasePatternOn = creasePatternOn;
    return options;
}
