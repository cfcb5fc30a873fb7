#ifndef PLICATROPE_APP_PLICATROPE_APP_H
#define PLICATROPE_APP_PLICATROPE_APP_H

#include <wx/app.h>
#include <wx/string.h>

#include <cstdint>
#include <list>

class MainFrame;
class Polyhedron;
struct SolverOptions;
struct Vertex;
struct HalfEdge;
struct Face;

// The mouse tools of the Tool menu.
enum ToolMode : int32_t {
    ToolExplode = 1,
    ToolMove = 2,
    ToolCut = 3,
    ToolSplitETM = 5,
    ToolFlood = 6,
};

// The application object, and the document state that the main window and
// both views share: one design per process.
class PlicatropeApp : public wxApp {
public:
    MainFrame* frame;
    bool showTuckProxy;
    bool showRealTuck;
    bool showFacets;
    bool showEdges;
    bool loaded;
    bool developed;
    bool creasePatternOn;
    bool avoidIntersection;
    bool angleCondition;
    ToolMode toolMode;
    Polyhedron* workingModel;
    Polyhedron* backupModel;
    wxString openDir;
    wxString lastFile;
    wxString saveDir;
    std::list<Face*> pickedFaces;
    std::list<Vertex*> pickedVertices;
    std::list<HalfEdge*> pickedEdges;
    std::list<HalfEdge*> pickedEtmEdges;

    PlicatropeApp();
    virtual ~PlicatropeApp();
    virtual bool OnInit() override;

    // Forgets every pick; called whenever the working model is replaced, so
    // that no list points into a model that no longer exists.
    void clearPicks();
    // The System menu's options as the model's sequences read them.
    SolverOptions solverOptions() const;
};

#endif
