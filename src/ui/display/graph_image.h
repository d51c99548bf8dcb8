#pragma once

#include <filesystem>
#include <string>

namespace tavril {

class GraphWidget;

// The file type the user picked in the Save dialog's filter.
enum class GraphImageFormat { kPng, kSvg, kBmp };

// Writes the graph's drawing area (the widget without its scroll bar) to
// `path`, whole or not at all: a failure leaves any previous file as it was,
// returns false and, when `why` is given, puts there one French sentence for
// the user.
// - PNG and BMP hold the pixels the widget paints, one image pixel per
//   logical screen pixel.
// - SVG holds the same picture as vectors, one SVG unit per pixel: the fills
//   on pixel edges, every line through pixel centres so that a renderer
//   lights the screen's pixels wherever the line is vertical or horizontal;
//   each curve as one path of vertical runs, a run per pixel column from the
//   column's lowest to its highest sample, and one path of the lines between
//   columns that add pixels, both from the strokes the screen draws. Its size
//   grows with the width, not with the records' length. Lines outside the
//   picture are cut at its border.
bool ExportGraphImage(const GraphWidget& graph, const std::filesystem::path& path,
                      GraphImageFormat format, std::string* why);

}  // namespace tavril
