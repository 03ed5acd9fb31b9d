// What the velmora-host program shows a person: a before/after table of the
// timeline's objects, and a picture of where an aligned image lies on the
// screen. Pure text in, text out, so the output is the same on every run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostsim {

// An object's span and standard-drawing texts as the host holds them (empty
// text: the item is absent).
struct ObjectState {
  std::int32_t First = 0;
  std::int32_t Last = 0;
  std::string Zoom;
  std::string X;
  std::string Y;
};

struct TableRow {
  std::string Name;
  bool IsImage = false;
  std::int32_t Layer = 0;
  std::optional<std::pair<std::int32_t, std::int32_t>> ImagePixels;  // when the file decodes
  ObjectState Before;
  ObjectState After;
};

// Fixed-width columns; a value that changed shows as "before → after". The
// numbers of a column have as many decimals as its longest one, before and
// after alike. Lengths are given in frames and in seconds at rate/scale
// frames per second.
// Every line starts with `indent`.
std::string FormatTable(const std::vector<TableRow>& rows, std::int32_t rate, std::int32_t scale,
                        const std::string& indent = "");

// Whether two item texts hold the same value: equal numbers ("0.00" and
// "-0.00", "100.00" and "100.000"), or equal texts when either is no number.
bool SameValue(const std::string& a, const std::string& b);

// The digits after the point of a plain decimal text ("-12.50" has 2, "100"
// has 0); -1 for any other text.
int DecimalPlaces(const std::string& text);
// A plain decimal text with zeros added up to `places` digits after the
// point, so that texts of one value look alike; any other text as it is.
std::string WithDecimalPlaces(const std::string& text, int places);

// A span of frames as the printouts show it: "first-last".
std::string SpanText(std::int32_t first, std::int32_t last);

// Seconds for a number of frames, two decimals; "?" when the rate is unusable.
std::string SecondsText(std::int32_t frames, std::int32_t rate, std::int32_t scale);

struct PictureInput {
  std::string Name;
  std::string File;  // file name only
  std::int32_t ScreenWidth = 0;
  std::int32_t ScreenHeight = 0;
  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;
  std::string Zoom;  // the host's texts: percent, and the offset of the image's
  std::string X;     // centre from the screen's centre in pixels (Y down)
  std::string Y;
  std::string Aspect;  // the pictures draw the image unstretched whatever it says
};

// Where the scaled image's edges lie relative to the screen's edges, in
// pixels: positive is a margin, negative is what sticks out.
struct Gaps {
  double Left = 0, Right = 0, Top = 0, Bottom = 0;
  double Width = 0, Height = 0;  // scaled image
};
Gaps ComputeGaps(const PictureInput& in);

// A self-contained SVG: the screen, the placed image, and in red what of the
// image lies outside the screen.
std::string RenderPicture(const PictureInput& in);

// Display width of UTF-8 text in terminal cells (East Asian wide forms count 2).
std::size_t DisplayWidth(const std::string& utf8);

}  // namespace hostsim
