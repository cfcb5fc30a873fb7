#include "app/main_frame.h"

#include <wx/icon.h>
#include <wx/menu.h>
#include <wx/time.h>

#include "app/console.h"
#include "app/plicatrope_app.h"
#include "app/plicatrope_icon.xpm"
#include "app/proportional_splitter.h"
#include "views/orp_gl_canvas.h"

int64_t currentMillis() { return wxGetLocalTimeMillis().GetValue(); }

namespace {

// Appends one item made by the toolkit's item factory and returns its id.
int appendItem(wxMenu* menu, int id, const wxString& label, const wxString& help, wxItemKind kind) {
    wxMenuItem* item = wxMenuItemBase::New(menu, id, label, help, kind);
    menu->Append(item);
    return item->GetId();
}

int appendCheckItem(wxMenu* menu, const wxString& label, const wxString& help, bool checked) {
    int id = appendItem(menu, wxID_ANY, label, help, wxITEM_CHECK);
    menu->Check(id, checked);
    return id;
}

}  // namespace

MainFrame::MainFrame(const wxString& title)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE),
      app(static_cast<PlicatropeApp*>(wxTheApp)),
      modelCanvas(nullptr),
      patternCanvas(nullptr),
      splitter(nullptr),
      creasePatternTimer(),
      convergenceStart(-1),
      converging(false),
      fpsClock(-1),
      fps(0.0) {
    SetIcon(wxIcon(plicatrope_icon_xpm));
    openConsole(this);

    Menus menus;
    MenuIds ids;
    buildMenus(menus, ids);

    creasePatternTimer.SetOwner(this, wxWindow::NewControlId());
    creasePatternTimer.Start(500, wxTIMER_CONTINUOUS);

    bindFrameEvents(ids);
    installMenuBar(menus);
    createSplitterAndViews();
    bindViewEvents();

    Fit();
    splitter->UpdateSize();

    Connect(wxEVT_IDLE, wxIdleEventHandler(MainFrame::OnIdle));
    DragAcceptFiles(true);
    Connect(wxEVT_DROP_FILES, wxDropFilesEventHandler(MainFrame::OnDropFiles));

    CreateStatusBar();
    SetStatusText(wxT("Plicatrope"), 0);

    fpsClock = currentMillis();
}

MainFrame::~MainFrame() { creasePatternTimer.Stop(); }

void MainFrame::buildMenus(Menus& menus, MenuIds& ids) {
    menus.bar = new wxMenuBar;
    menus.file = new wxMenu;
    menus.system = new wxMenu;
    menus.model = new wxMenu;
    menus.tool = new wxMenu;
    menus.view = new wxMenu;

    wxMenu* m = menus.file;
    appendItem(m, wxID_OPEN, wxT("&Open\tCtrl-O"), wxT("Open File"), wxITEM_NORMAL);
    appendItem(m, wxID_RESET, wxT("&Reopen\tCtrl-R"), wxT("Reopen File"), wxITEM_NORMAL);
    appendItem(m, wxID_SAVEAS, wxT("&SaveAs\tCtrl-S"), wxT("Save File"), wxITEM_NORMAL);
    m->AppendSeparator();
    appendItem(m, wxID_EXIT, wxT("E&xit\tAlt-F4"), wxT("Quit"), wxITEM_NORMAL);

    m = menus.system;
    ids.avoidIntersection = appendCheckItem(m, wxT("Avoid &Intersection"), wxT("Avoid Intersection Penalty"),
                                            app->avoidIntersection);
    ids.angleCondition = appendCheckItem(m, wxT("&Angle Condition"),
                                         wxT("Penalty for Angle Condition (2D and 3D)"), app->angleCondition);
    ids.creasePatternGeneration = appendCheckItem(m, wxT("&Crease Pattern Generation\tCtrl-G"),
                                                  wxT("Crease Pattern On/Off"), app->creasePatternOn);

    m = menus.model;
    ids.develop = appendItem(m, wxID_ANY, wxT("&Develop\tCtrl-D"), wxT("Develop Facets"), wxITEM_NORMAL);
    ids.splitExtrawideTucks =
        appendItem(m, wxID_ANY, wxT("&Split extrawide tucks\tCtrl-X"),
                   wxT("Split too wide edge tucks according to 2D width condition"), wxITEM_NORMAL);

    m = menus.tool;
    ids.toolMove = appendItem(m, wxID_ANY, wxT("Mo&ve\tV"), wxT("Select and Translate Facets"), wxITEM_RADIO);
    ids.toolExplode = appendItem(m, wxID_ANY, wxT("&Explode\tE"), wxT("Explode Model"), wxITEM_RADIO);
    ids.toolSplitETM =
        appendItem(m, wxID_ANY, wxT("&Split ETM\tS"), wxT("Split Edge Tucking Molecule"), wxITEM_RADIO);
    ids.toolCut = appendItem(m, wxID_ANY, wxT("&Cut\tC"), wxT("Add and Delete Cut Lines"), wxITEM_RADIO);
    ids.toolFlood = appendItem(m, wxID_ANY, wxT("&Flood\tF"), wxT("Flood from a face"), wxITEM_RADIO);
    m->Check(ids.toolMove, true);

    m = menus.view;
    ids.drawTuckProxy =
        appendCheckItem(m, wxT("Draw Tuck &Proxy"), wxT("Draw Tuck Proxy"), app->showTuckProxy);
    ids.drawTuck = appendCheckItem(m, wxT("Draw &Tuck"), wxT("Draw Real Tuck"), app->showRealTuck);
    ids.drawFacets = appendCheckItem(m, wxT("Draw &Facets"), wxT("Draw Surface Polygons"), app->showFacets);
    ids.drawEdges = appendCheckItem(m, wxT("Draw &Edges"), wxT("Draw Edges of the 3D model"), app->showEdges);
}

void MainFrame::bindFrameEvents(const MenuIds& ids) {
    Connect(wxEVT_CLOSE_WINDOW, wxCloseEventHandler(MainFrame::OnClose));
    Connect(wxEVT_KEY_UP, wxKeyEventHandler(MainFrame::OnKey));
    Connect(wxEVT_KEY_DOWN, wxKeyEventHandler(MainFrame::OnKey));
#ifdef __WXGTK__
    Connect(wxEVT_CHAR_HOOK, wxKeyEventHandler(MainFrame::OnCharHook));
#endif

    struct MenuBinding {
        int id;
        wxObjectEventFunction handler;
    };
    const MenuBinding bindings[] = {
        {wxID_EXIT, wxCommandEventHandler(MainFrame::OnQuit)},
        {wxID_OPEN, wxCommandEventHandler(MainFrame::OnOpen)},
        {wxID_RESET, wxCommandEventHandler(MainFrame::OnReopen)},
        {wxID_SAVEAS, wxCommandEventHandler(MainFrame::OnSaveAs)},
        {ids.develop, wxCommandEventHandler(MainFrame::OnDevelop)},
        {ids.creasePatternGeneration, wxCommandEventHandler(MainFrame::OnCreasePatternGeneration)},
        {ids.avoidIntersection, wxCommandEventHandler(MainFrame::OnAvoidIntersection)},
        {ids.angleCondition, wxCommandEventHandler(MainFrame::OnAngleCondition)},
        {ids.toolMove, wxCommandEventHandler(MainFrame::OnToolMove)},
        {ids.toolExplode, wxCommandEventHandler(MainFrame::OnToolExplode)},
        {ids.toolCut, wxCommandEventHandler(MainFrame::OnToolCut)},
        {ids.toolFlood, wxCommandEventHandler(MainFrame::OnToolFlood)},
        {ids.splitExtrawideTucks, wxCommandEventHandler(MainFrame::OnSplitExtrawideTucks)},
    };
    for (const MenuBinding& b : bindings) Connect(b.id, wxEVT_COMMAND_MENU_SELECTED, b.handler);

    Connect(creasePatternTimer.GetId(), wxEVT_TIMER, wxTimerEventHandler(MainFrame::OnCreasePatternTimer));

    const MenuBinding lateBindings[] = {
        {ids.toolSplitETM, wxCommandEventHandler(MainFrame::OnToolSplitETM)},
        {ids.drawTuckProxy, wxCommandEventHandler(MainFrame::OnDrawTuckProxy)},
        {ids.drawTuck, wxCommandEventHandler(MainFrame::OnDrawTuck)},
        {ids.drawFacets, wxCommandEventHandler(MainFrame::OnDrawFacets)},
        {ids.drawEdges, wxCommandEventHandler(MainFrame::OnDrawEdges)},
    };
    for (const MenuBinding& b : lateBindings) Connect(b.id, wxEVT_COMMAND_MENU_SELECTED, b.handler);
}

void MainFrame::installMenuBar(const Menus& menus) {
    menus.bar->Append(menus.file, wxT("&File"));
    menus.bar->Append(menus.system, wxT("&System"));
    menus.bar->Append(menus.model, wxT("&Model"));
    menus.bar->Append(menus.tool, wxT("&Tool"));
    menus.bar->Append(menus.view, wxT("&View"));
    SetMenuBar(menus.bar);
}

void MainFrame::createSplitterAndViews() {
    splitter = new ProportionalSplitter(this, wxID_ANY, wxDefaultPosition, wxSize(1024, 512),
                                        wxSP_3D | wxSP_LIVE_UPDATE, wxT("splitter"));
    splitter->proportion = 0.5;

    modelCanvas = new orpGLCanvas(splitter, wxT("orpGLCanvas"));
    patternCanvas = new orpGLCanvas(splitter, wxT("orpGLCanvas"));

    int width = GetClientSize().GetWidth();
    splitter->SplitVertically(modelCanvas, patternCanvas, (int)(width * splitter->proportion));
    splitter->SetMinimumPaneSize(16);
}

void MainFrame::bindViewEvents() {
    splitter->Connect(wxEVT_SIZE, wxSizeEventHandler(ProportionalSplitter::OnSize));
    const wxEventType sashEvents[] = {wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_MOTION};
    for (wxEventType type : sashEvents)
        splitter->Connect(type, wxMouseEventHandler(ProportionalSplitter::OnSashMouse));

    // The model view also takes left double-clicks; the pattern view does not.
    const wxEventType modelMouse[] = {wxEVT_MOUSEWHEEL,  wxEVT_MOTION,       wxEVT_LEAVE_WINDOW,
                                      wxEVT_MIDDLE_DOWN, wxEVT_MIDDLE_UP,    wxEVT_RIGHT_DOWN,
                                      wxEVT_RIGHT_UP,    wxEVT_ENTER_WINDOW, wxEVT_LEFT_DOWN,
                                      wxEVT_LEFT_UP,     wxEVT_LEFT_DCLICK};
    const wxEventType patternMouse[] = {
        wxEVT_MOUSEWHEEL,   wxEVT_MOTION,    wxEVT_LEAVE_WINDOW, wxEVT_MIDDLE_DOWN, wxEVT_MIDDLE_UP,
        wxEVT_ENTER_WINDOW, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP,      wxEVT_RIGHT_DOWN,  wxEVT_RIGHT_UP};

    modelCanvas->Connect(wxEVT_SIZE, wxSizeEventHandler(orpGLCanvas::OnSize));
    modelCanvas->Connect(wxEVT_PAINT, wxPaintEventHandler(orpGLCanvas::OnPaint));
    for (wxEventType type : modelMouse) modelCanvas->Connect(type, wxMouseEventHandler(orpGLCanvas::OnMouse));

    patternCanvas->Connect(wxEVT_SIZE, wxSizeEventHandler(orpGLCanvas::OnSize));
    patternCanvas->Connect(wxEVT_PAINT, wxPaintEventHandler(orpGLCanvas::OnPaint));
    for (wxEventType type : patternMouse)
        patternCanvas->Connect(type, wxMouseEventHandler(orpGLCanvas::OnMouse));
}

// On GTK a view with the keyboard focus takes a plain letter as text input
// before the menu accelerators see it, so the single-letter accelerators of
// the Tool menu are chosen here, as the toolkit chooses an item: marks first,
// then the command.
void MainFrame::OnCharHook(wxKeyEvent& event) {
    wxWindow* source = wxDynamicCast(event.GetEventObject(), wxWindow);
    if (event.GetModifiers() == wxMOD_NONE && source && wxGetTopLevelParent(source) == this) {
        wxMenuBar* bar = GetMenuBar();
        for (size_t m = 0; m < bar->GetMenuCount(); ++m) {
            for (wxMenuItem* item : bar->GetMenu(m)->GetMenuItems()) {
                wxAcceleratorEntry* accel = item->GetAccel();
                bool match =
                    accel && accel->GetFlags() == wxACCEL_NORMAL && accel->GetKeyCode() == event.GetKeyCode();
                delete accel;
                if (match) {
                    ProcessCommand(item);
                    return;
                }
            }
        }
    }
    event.Skip();
}

void MainFrame::redrawBothViews() {
    app->frame->modelCanvas->render();
    app->frame->patternCanvas->render();
}

void MainFrame::redrawPatternView() { app->frame->patternCanvas->render(); }
