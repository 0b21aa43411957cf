#pragma once

#include <string>

// The documents `run daily` writes for people to read (docs/README.md, docs/heatmap.svg, the
// profile repository's picture) carry a mark on their first line. A file without it is the
// user's own and is never replaced.

// `contents` with the mark in front, as an HTML/XML comment that neither Markdown nor SVG shows.
std::string withGeneratedMark(const std::string &contents);

// Writes `contents`, marked, at `path` when nothing is there or the file there was written by
// tessel (marked, or in the shape tessel wrote before it marked its files). Returns false and
// leaves `path` alone when it holds anything else: the user's file, a link, a folder. Removes
// what an interrupted write left beside it, so only one writer may be at work on `path`.
bool replaceGeneratedFile(const std::string &path, const std::string &contents);
