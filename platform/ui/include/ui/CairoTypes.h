#pragma once
// The drawing library's handle types, declared the way its own header declares them, so
// a header that passes a context or a surface along needs no drawing headers. Sources
// that draw include <cairo.h> themselves.

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_pattern cairo_pattern_t;
