#ifndef PLICATROPE_APP_PROPORTIONAL_SPLITTER_H
#define PLICATROPE_APP_PROPORTIONAL_SPLITTER_H

#include <wx/splitter.h>

// A splitter whose sash keeps its fraction of the width when the window is
// resized; a double-click on the sash puts it back in the middle.
class ProportionalSplitter : public wxSplitterWindow {
public:
    double proportion;

    ProportionalSplitter(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
                         const wxString& name);
    virtual ~ProportionalSplitter();

    void OnSashMouse(wxMouseEvent& event);
    void OnSize(wxSizeEvent& event);
};

#endif
