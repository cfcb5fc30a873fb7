#include "app/plicatrope_app.h"

wxIMPLEMENT_APP(PlicatropeApp);
