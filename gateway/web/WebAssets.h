#pragma once

#include <string_view>

// The page's files, built into the program from gateway/web/. They are found
// by fixed names only: no part of a URL is ever taken as a file path.
struct WebAsset {
  std::string_view path;  // "/", "/app.js", ...
  std::string_view contentType;
  std::string_view body;
};

// Nothing for a path that names no asset.
const WebAsset* FindWebAsset(std::string_view path);
