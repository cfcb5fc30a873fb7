#include <wx/accel.h>
#include <wx/filefn.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

#include "app/gui_support.h"
#include "app/proportional_splitter.h"
#include "views/orp_gl_canvas.h"

using guitest::app;
using guitest::frame;

namespace {

struct ItemCase {
    const char* menu;
    const char* label;
    const char* help;
    wxItemKind kind;
    bool checked;
    int accelFlags;
    int accelKey;
    int stockId;  // wxID_ANY: the toolkit generated the id
};

const ItemCase kItems[] = {
    {"&File", "&Open\tCtrl-O", "Open File", wxITEM_NORMAL, false, wxACCEL_CTRL, 'O', wxID_OPEN},
    {"&File", "&Reopen\tCtrl-R", "Reopen File", wxITEM_NORMAL, false, wxACCEL_CTRL, 'R', wxID_RESET},
    {"&File", "&SaveAs\tCtrl-S", "Save File", wxITEM_NORMAL, false, wxACCEL_CTRL, 'S', wxID_SAVEAS},
    {"&File", "", "", wxITEM_SEPARATOR, false, 0, 0, wxID_SEPARATOR},
    {"&File", "E&xit\tAlt-F4", "Quit", wxITEM_NORMAL, false, wxACCEL_ALT, WXK_F4, wxID_EXIT},
    {"&System", "Avoid &Intersection", "Avoid Intersection Penalty", wxITEM_CHECK, true, 0, 0, wxID_ANY},
    {"&System", "&Angle Condition", "Penalty for Angle Condition (2D and 3D)", wxITEM_CHECK, false, 0, 0,
     wxID_ANY},
    {"&System", "&Crease Pattern Generation\tCtrl-G", "Crease Pattern On/Off", wxITEM_CHECK, false,
     wxACCEL_CTRL, 'G', wxID_ANY},
    {"&Model", "&Develop\tCtrl-D", "Develop Facets", wxITEM_NORMAL, false, wxACCEL_CTRL, 'D', wxID_ANY},
    {"&Model", "&Split extrawide tucks\tCtrl-X", "Split too wide edge tucks according to 2D width condition",
     wxITEM_NORMAL, false, wxACCEL_CTRL, 'X', wxID_ANY},
    {"&Tool", "Mo&ve\tV", "Select and Translate Facets", wxITEM_RADIO, true, wxACCEL_NORMAL, 'V', wxID_ANY},
    {"&Tool", "&Explode\tE", "Explode Model", wxITEM_RADIO, false, wxACCEL_NORMAL, 'E', wxID_ANY},
    {"&Tool", "&Split ETM\tS", "Split Edge Tucking Molecule", wxITEM_RADIO, false, wxACCEL_NORMAL, 'S',
     wxID_ANY},
    {"&Tool", "&Cut\tC", "Add and Delete Cut Lines", wxITEM_RADIO, false, wxACCEL_NORMAL, 'C', wxID_ANY},
    {"&Tool", "&Flood\tF", "Flood from a face", wxITEM_RADIO, false, wxACCEL_NORMAL, 'F', wxID_ANY},
    {"&View", "Draw Tuck &Proxy", "Draw Tuck Proxy", wxITEM_CHECK, false, 0, 0, wxID_ANY},
    {"&View", "Draw &Tuck", "Draw Real Tuck", wxITEM_CHECK, true, 0, 0, wxID_ANY},
    {"&View", "Draw &Facets", "Draw Surface Polygons", wxITEM_CHECK, true, 0, 0, wxID_ANY},
    {"&View", "Draw &Edges", "Draw Edges of the 3D model", wxITEM_CHECK, true, 0, 0, wxID_ANY},
};

class MainWindow : public guitest::GuiTest {};

TEST_F(MainWindow, StartsWithNoModelAndTheDefaultOptions) {
    PlicatropeApp* a = app();
    EXPECT_EQ(a->frame, frame());
    EXPECT_FALSE(a->loaded);
    EXPECT_FALSE(a->developed);
    EXPECT_EQ(a->toolMode, ToolMove);
    EXPECT_TRUE(a->avoidIntersection);
    EXPECT_FALSE(a->angleCondition);
    EXPECT_FALSE(a->creasePatternOn);
    EXPECT_FALSE(a->showTuckProxy);
    EXPECT_TRUE(a->showRealTuck);
    EXPECT_TRUE(a->showFacets);
    EXPECT_TRUE(a->showEdges);
    EXPECT_EQ(a->workingModel, nullptr);
    EXPECT_EQ(a->backupModel, nullptr);
    EXPECT_EQ(a->openDir, wxGetCwd());
    EXPECT_EQ(a->saveDir, wxGetCwd());
    EXPECT_TRUE(a->lastFile.IsEmpty());

    MainFrame* f = frame();
    EXPECT_EQ(f->GetTitle(), "Plicatrope");
    EXPECT_TRUE(f->IsShown());
    EXPECT_EQ(guitest::statusText(), "Plicatrope");
    EXPECT_TRUE(f->creasePatternTimer.IsRunning());
    EXPECT_EQ(f->creasePatternTimer.GetInterval(), 500);
    EXPECT_FALSE(f->creasePatternTimer.IsOneShot());
    EXPECT_FALSE(f->converging);
    EXPECT_EQ(f->convergenceStart, -1);
    EXPECT_EQ(f->fps, 0.0);
    EXPECT_GT(f->fpsClock, 0);
}

TEST_F(MainWindow, HasTheFiveMenusWithTheirItemsMarksAndAccelerators) {
    wxMenuBar* bar = frame()->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    const char* titles[] = {"&File", "&System", "&Model", "&Tool", "&View"};
    ASSERT_EQ(bar->GetMenuCount(), 5u);
    for (size_t m = 0; m < 5; ++m) EXPECT_EQ(bar->GetMenuLabel(m), titles[m]);

    size_t position[5] = {0, 0, 0, 0, 0};
    for (const ItemCase& c : kItems) {
        int m = bar->FindMenu(wxMenuItem::GetLabelText(c.menu));
        ASSERT_NE(m, wxNOT_FOUND) << c.menu;
        wxMenu* menu = bar->GetMenu(m);
        ASSERT_LT(position[m], menu->GetMenuItemCount()) << c.label;
        wxMenuItem* item = menu->FindItemByPosition(position[m]++);
        SCOPED_TRACE(c.label);
        EXPECT_EQ(item->GetKind(), c.kind);
        if (c.kind == wxITEM_SEPARATOR) continue;
        EXPECT_EQ(item->GetItemLabel(), c.label);
        EXPECT_EQ(item->GetHelp(), c.help);
        if (c.stockId != wxID_ANY) {
            EXPECT_EQ(item->GetId(), c.stockId);
        }
        if (c.kind != wxITEM_NORMAL) {
            EXPECT_EQ(item->IsChecked(), c.checked);
        }
        wxAcceleratorEntry* accel = item->GetAccel();
        if (c.accelKey == 0) {
            EXPECT_EQ(accel, nullptr);
        } else {
            ASSERT_NE(accel, nullptr);
            EXPECT_EQ(accel->GetFlags(), c.accelFlags);
            EXPECT_EQ(accel->GetKeyCode(), c.accelKey);
            delete accel;
        }
    }
    for (size_t m = 0; m < 5; ++m) EXPECT_EQ(bar->GetMenu(m)->GetMenuItemCount(), position[m]);
}

TEST_F(MainWindow, HoldsTheTwoViewsSideBySideSplitInTheMiddle) {
    MainFrame* f = frame();
    ProportionalSplitter* s = f->splitter;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetName(), "splitter");
    EXPECT_EQ(s->GetParent(), f);
    EXPECT_EQ(s->GetSplitMode(), wxSPLIT_VERTICAL);
    EXPECT_EQ(s->GetWindow1(), f->modelCanvas);
    EXPECT_EQ(s->GetWindow2(), f->patternCanvas);
    EXPECT_EQ(s->GetMinimumPaneSize(), 16);
    EXPECT_DOUBLE_EQ(s->proportion, 0.5);
    EXPECT_EQ(s->GetSashPosition(), (int)(s->GetSize().GetWidth() * 0.5));

    EXPECT_EQ(f->modelCanvas->GetName(), "orpGLCanvas");
    EXPECT_EQ(f->patternCanvas->GetName(), "orpGLCanvas");
    EXPECT_NE(f->modelCanvas->GetId(), f->patternCanvas->GetId());
    EXPECT_EQ(f->modelCanvas->viewKind(), ModelView);
    EXPECT_EQ(f->patternCanvas->viewKind(), PatternView);
}

TEST_F(MainWindow, SplitterKeepsItsFractionAcrossResizes) {
    MainFrame* f = frame();
    ProportionalSplitter* s = f->splitter;
    const int widths[] = {700, 1200, 500};
    for (int w : widths) {
        f->SetClientSize(w, 400);
        guitest::yieldEvents();
        int full = s->GetSize().GetWidth();
        EXPECT_EQ(full, w);
        EXPECT_EQ(s->GetSashPosition(), (int)(full * 0.5)) << "width " << w;
    }
}

TEST_F(MainWindow, SashReleaseSetsTheFractionAndDoubleClickCentresIt) {
    MainFrame* f = frame();
    ProportionalSplitter* s = f->splitter;
    f->SetClientSize(800, 400);
    guitest::yieldEvents();

    s->SetSashPosition(200, true);
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetEventObject(s);
    s->GetEventHandler()->ProcessEvent(up);
    EXPECT_DOUBLE_EQ(s->proportion, 200.0 / 800.0);

    f->SetClientSize(1000, 400);
    guitest::yieldEvents();
    EXPECT_EQ(s->GetSashPosition(), 250);

    wxMouseEvent dclick(wxEVT_LEFT_DCLICK);
    dclick.SetPosition(wxPoint(250, 100));
    dclick.SetEventObject(s);
    s->GetEventHandler()->ProcessEvent(dclick);
    EXPECT_DOUBLE_EQ(s->proportion, 0.5);
    EXPECT_EQ(s->GetSashPosition(), 500);
    EXPECT_TRUE(s->IsSplit());
}

TEST_F(MainWindow, OptionAndToolItemsChangeOnlyTheirMember) {
    struct OptionCase {
        const char* menu;
        const char* item;
        bool PlicatropeApp::*flag;
    };
    const OptionCase options[] = {
        {"System", "Avoid Intersection", &PlicatropeApp::avoidIntersection},
        {"System", "Angle Condition", &PlicatropeApp::angleCondition},
        {"System", "Crease Pattern Generation", &PlicatropeApp::creasePatternOn},
        {"View", "Draw Tuck Proxy", &PlicatropeApp::showTuckProxy},
        {"View", "Draw Tuck", &PlicatropeApp::showRealTuck},
        {"View", "Draw Facets", &PlicatropeApp::showFacets},
        {"View", "Draw Edges", &PlicatropeApp::showEdges},
    };
    PlicatropeApp* a = app();
    for (const OptionCase& c : options) {
        SCOPED_TRACE(c.item);
        bool before[7];
        for (int i = 0; i < 7; ++i) before[i] = a->*(options[i].flag);
        guitest::menuCommand(c.menu, c.item);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(a->*(options[i].flag), options[i].flag == c.flag ? !before[i] : before[i])
                << options[i].item;
        guitest::menuCommand(c.menu, c.item);
        EXPECT_EQ(a->*(c.flag), before[&c - options]);
    }

    struct ToolCase {
        const char* item;
        ToolMode mode;
    };
    const ToolCase tools[] = {{"Explode", ToolExplode},
                              {"Split ETM", ToolSplitETM},
                              {"Cut", ToolCut},
                              {"Flood", ToolFlood},
                              {"Move", ToolMove}};
    for (const ToolCase& c : tools) {
        guitest::menuCommand("Tool", c.item);
        EXPECT_EQ(a->toolMode, c.mode) << c.item;
    }
    EXPECT_FALSE(a->loaded);
    EXPECT_EQ(guitest::statusText(), "Plicatrope");
}

TEST_F(MainWindow, ToolLettersChooseTheToolAndMoveTheRadioMark) {
    MainFrame* f = frame();
    guitest::yieldEvents();
    // With no window manager the keyboard goes to the window under the pointer.
    wxUIActionSimulator keyboard;
    wxPoint inside = f->modelCanvas->GetScreenPosition() + wxPoint(50, 50);
    keyboard.MouseMove(inside);
    guitest::yieldEvents();
    struct LetterCase {
        char key;
        const char* item;
        ToolMode mode;
    };
    const LetterCase cases[] = {{'e', "Explode", ToolExplode},
                                {'c', "Cut", ToolCut},
                                {'f', "Flood", ToolFlood},
                                {'s', "Split ETM", ToolSplitETM},
                                {'v', "Move", ToolMove}};
    wxMenuBar* bar = f->GetMenuBar();
    for (const LetterCase& c : cases) {
        keyboard.Char(c.key);
        for (int i = 0; i < 50 && app()->toolMode != c.mode; ++i) {
            guitest::yieldEvents(1);
            wxMilliSleep(10);
        }
        EXPECT_EQ(app()->toolMode, c.mode) << c.key;
        EXPECT_TRUE(bar->IsChecked(bar->FindMenuItem("Tool", c.item))) << c.item;
    }
}

}  // namespace
