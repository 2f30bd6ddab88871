// Compiled once for each layer, with only the include folders that layer gets: the build fails
// when a layer can reach the headers of a layer it must not use, or cannot reach those it may.
// SEES_<LAYER> says whether the layer compiled here may use that layer.

#if __has_include("platform/website.h") != SEES_PLATFORM
#error "the platform layer is reachable where it must not be, or not reachable where it must be"
#endif
#if __has_include("data/query.h") != SEES_DATA
#error "the data layer is reachable where it must not be, or not reachable where it must be"
#endif
#if __has_include("widgets/dbgrid.h") != SEES_WIDGETS
#error "the widgets layer is reachable where it must not be, or not reachable where it must be"
#endif
#if __has_include("forms/main.h") != SEES_FORMS
#error "the forms layer is reachable where it must not be, or not reachable where it must be"
#endif
#if __has_include("app/program.h") != SEES_APP
#error "the app layer is reachable where it must not be, or not reachable where it must be"
#endif
