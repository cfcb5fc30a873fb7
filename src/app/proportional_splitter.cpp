#include "app/proportional_splitter.h"

ProportionalSplitter::ProportionalSplitter(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                           const wxSize& size, long style, const wxString& name)
    : wxSplitterWindow(parent, id, pos, size, style, name), proportion(0.5) {}

ProportionalSplitter::~ProportionalSplitter() {}

// Not skipped: the base's own size handling would move the sash by its gravity.
void ProportionalSplitter::OnSize(wxSizeEvent&) {
    int width = GetSize().GetWidth();
    SetSashPosition((int)(width * proportion), true);
    UpdateSize();
}

void ProportionalSplitter::OnSashMouse(wxMouseEvent& event) {
    wxSplitterWindow::OnMouseEvent(event);
    int width = GetSize().GetWidth();
    if (event.ButtonUp(wxMOUSE_BTN_ANY) && width > 0) proportion = (double)GetSashPosition() / (double)width;
    if (event.LeftDClick()) {
        proportion = 0.5;
        SetSashPosition((int)(width * 0.5), true);
    }
}
