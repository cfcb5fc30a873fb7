#include <wx/statusbr.h>

#include <cstdio>

#include "app/main_frame.h"
#include "app/plicatrope_app.h"
#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "views/orp_gl_canvas.h"

namespace {

const double kDegreesToRadians = 0.017453292519943295;
const int kTicksPerSample = 16;

// Idle ticks with a developed model since the last frame-rate sample.
int32_t fpsTickCount = 0;

const wxString kCutHint = wxT("Press Shift to only relocate cut lines.");
const wxString kExplodeHint = wxT("Drag:Fatten molecules  Shift+Drag: Thin molecules");

wxString toolHint(ToolMode tool) {
    if (tool == ToolCut) return kCutHint;
    if (tool == ToolExplode) return kExplodeHint;
    return wxEmptyString;
}

}  // namespace

void MainFrame::OnDevelop(wxCommandEvent&) {
    if (!app->loaded) return;
    int64_t t0 = currentMillis();
    if (app->developed) {
        developAgain(*app->workingModel);
    } else if (!developFirst(*app->workingModel, *app->backupModel)) {
        // Refused (the core said why). A refusal after the model was cut open
        // has copied the backup over it, so no pick may point into it.
        app->clearPicks();
        return;
    }
    app->developed = true;
    redrawPatternView();
    consolePrintf("\n%lldms\n", (long long)(currentMillis() - t0));
    convergenceStart = currentMillis();
    converging = true;
}

void MainFrame::OnIdle(wxIdleEvent& event) {
    if (!app->developed) showToolHint();

    bool improving = false;
    if (app->loaded && app->developed) {
        IdleStepResult step = idleStep(*app->workingModel, app->solverOptions(), converging);
        improving = step.moved;
        if (step.converged && converging) {
            consolePrintf("\ncv:%lldms\n", (long long)(currentMillis() - convergenceStart));
            converging = false;
        }

        double efficiency =
            app->workingModel->efficiencyAt(app->frame->patternCanvas->yaw * kDegreesToRadians);
        setStatusIfChanged(wxString::Format(wxT("ef:%g\tfps:%g"), efficiency, fps));

        if (fpsTickCount == kTicksPerSample) {
            int64_t now = currentMillis();
            // Sixteen ticks within one millisecond (or a clock set back) give
            // no rate; the previous one stays on show.
            if (now > fpsClock) fps = kTicksPerSample * 1000.0 / (double)(now - fpsClock);
            fpsClock = now;
            fpsTickCount = 0;
        }
        ++fpsTickCount;
    }

    redrawBothViews();
    // With nothing to improve the program waits: the next input or timer
    // tick brings the next idle event.
    if (improving) event.RequestMore();
    event.Skip();
}

// Before Develop the status line tells how the chosen tool is used; a tool
// without a hint takes the previous tool's hint away.
void MainFrame::showToolHint() {
    wxString hint = toolHint(app->toolMode);
    wxString shown = statusText();
    if (hint.empty() && shown != kCutHint && shown != kExplodeHint) return;
    setStatusIfChanged(hint);
}

// Setting the status line redraws it, which would wake the idle loop again.
void MainFrame::setStatusIfChanged(const wxString& text) {
    if (statusText() != text) SetStatusText(text, 0);
}

wxString MainFrame::statusText() const {
    wxStatusBar* bar = GetStatusBar();
    return bar ? bar->GetStatusText(0) : wxString();
}

// A tick that changed nothing leaves the view as the last idle event drew it.
void MainFrame::OnCreasePatternTimer(wxTimerEvent&) {
    if (app->loaded && app->developed && !creasePatternTick(*app->workingModel, app->solverOptions())) return;
    redrawPatternView();
}

void MainFrame::OnSplitExtrawideTucks(wxCommandEvent&) {
    if (!app->loaded || !app->developed) return;
    if (app->angleCondition)
        app->workingModel->splitWideTucksWithAngleCondition();
    else
        app->workingModel->splitWideTucks();
    redrawPatternView();
}

void MainFrame::OnAvoidIntersection(wxCommandEvent&) { app->avoidIntersection = !app->avoidIntersection; }
void MainFrame::OnAngleCondition(wxCommandEvent&) { app->angleCondition = !app->angleCondition; }
void MainFrame::OnCreasePatternGeneration(wxCommandEvent&) { app->creasePatternOn = !app->creasePatternOn; }
void MainFrame::OnDrawTuckProxy(wxCommandEvent&) { app->showTuckProxy = !app->showTuckProxy; }
void MainFrame::OnDrawTuck(wxCommandEvent&) { app->showRealTuck = !app->showRealTuck; }
void MainFrame::OnDrawFacets(wxCommandEvent&) { app->showFacets = !app->showFacets; }
void MainFrame::OnDrawEdges(wxCommandEvent&) { app->showEdges = !app->showEdges; }
void MainFrame::OnToolMove(wxCommandEvent&) { app->toolMode = ToolMove; }
void MainFrame::OnToolExplode(wxCommandEvent&) { app->toolMode = ToolExplode; }
void MainFrame::OnToolSplitETM(wxCommandEvent&) { app->toolMode = ToolSplitETM; }
void MainFrame::OnToolCut(wxCommandEvent&) { app->toolMode = ToolCut; }
void MainFrame::OnToolFlood(wxCommandEvent&) { app->toolMode = ToolFlood; }
