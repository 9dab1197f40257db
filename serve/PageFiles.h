#pragma once

#include <cstddef>

// The web page's files, built into guide-link from serve/page/ (cmake/EmbedFiles.cmake).
struct PageFile {
    const char* path;  // as requested: /index.html
    const char* contentType;
    const unsigned char* bytes;
    std::size_t size;
};

extern const PageFile kPageFiles[];
extern const int kPageFileCount;
