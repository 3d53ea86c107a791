// The web view's pages, style and scripts, carried in the program (web/page at build time).
#pragma once

#include <cstddef>

struct WebAsset {
    const char *name; // "line.html", "style.css", ...
    const char *type; // its Content-Type
    const unsigned char *data;
    size_t size;
};

// The file of that name; null when the program carries none.
const WebAsset *FindWebAsset(const char *name);
