// The before/after table and the placement pictures.
#include "hostsim/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hostsim {
namespace {

const char* kArrow = " → ";
// What of the image lies outside the screen, and so is cut off.
const char* kOutStyle = "fill=\"#e8806f\" fill-opacity=\"0.9\"";

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Coordinates in the picture: one decimal is plenty, and "-0.0" would only
// be noise.
std::string Num(double value) {
  std::string text = Printf("%.1f", value);
  return text == "-0.0" ? "0.0" : text;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Pad(const std::string& text, std::size_t width) {
  std::size_t w = DisplayWidth(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

std::string Change(const std::string& before, const std::string& after) {
  if (SameValue(before, after)) return after.empty() ? "-" : after;
  return (before.empty() ? "-" : before) + kArrow + (after.empty() ? "-" : after);
}

std::string LengthText(const ObjectState& s, std::int32_t rate, std::int32_t scale) {
  std::int32_t frames = s.Last - s.First + 1;
  return std::to_string(frames) + " f " + SecondsText(frames, rate, scale) + " s";
}

// How many decimals the zoom, X and Y columns show.
struct ColumnPlaces {
  int Zoom = 0, X = 0, Y = 0;
};

ColumnPlaces PlacesOf(const std::vector<TableRow>& rows) {
  ColumnPlaces p;
  for (const TableRow& row : rows) {
    for (const ObjectState* s : {&row.Before, &row.After}) {
      p.Zoom = std::max(p.Zoom, DecimalPlaces(s->Zoom));
      p.X = std::max(p.X, DecimalPlaces(s->X));
      p.Y = std::max(p.Y, DecimalPlaces(s->Y));
    }
  }
  return p;
}

std::string ChangeWithPlaces(const std::string& before, const std::string& after, int places) {
  return Change(WithDecimalPlaces(before, places), WithDecimalPlaces(after, places));
}

// One line of the table, its columns as the header names them.
std::vector<std::string> CellsOf(const TableRow& row, std::int32_t rate, std::int32_t scale,
                                 const ColumnPlaces& places) {
  std::string pixels = "-";
  if (row.IsImage) {
    pixels = row.ImagePixels ? std::to_string(row.ImagePixels->first) + "x" +
                                   std::to_string(row.ImagePixels->second)
                             : "unreadable";
  }
  std::string frames = SpanText(row.After.First, row.After.Last);
  if (row.Before.First != row.After.First || row.Before.Last != row.After.Last) {
    frames = SpanText(row.Before.First, row.Before.Last) + kArrow + frames;
  }
  return {row.Name,
          std::to_string(row.Layer),
          pixels,
          frames,
          Change(LengthText(row.Before, rate, scale), LengthText(row.After, rate, scale)),
          ChangeWithPlaces(row.Before.Zoom, row.After.Zoom, places.Zoom),
          ChangeWithPlaces(row.Before.X, row.After.X, places.X),
          ChangeWithPlaces(row.Before.Y, row.After.Y, places.Y)};
}

double Parse(const std::string& text) {
  return text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr);
}

std::string SideText(const char* side, double gap) {
  std::string amount = Printf("%.2f", std::fabs(gap));
  if (amount.size() > 3 && amount.compare(amount.size() - 3, 3, ".00") == 0) {
    amount.resize(amount.size() - 3);
  }
  if (amount == "0") return std::string(side) + " flush";
  return std::string(side) + (gap > 0 ? " margin " : " sticks out ") + amount;
}

// The image's edges in screen pixels.
struct Edges {
  double Left, Top, Right, Bottom;
};

// Screen pixels to picture coordinates.
struct SvgCanvas {
  double Scale = 1, OriginX = 0, OriginY = 0;
  double Width = 640, Height = 0;

  std::string X(double x) const { return Num(OriginX + x * Scale); }
  std::string Y(double y) const { return Num(OriginY + y * Scale); }
  std::string W(double w) const { return Num(w * Scale); }
  // A rectangle given by its edges in screen pixels; nothing when empty.
  std::string Rect(double l, double t, double r, double b, const std::string& style) const {
    if (r - l <= 1e-9 || b - t <= 1e-9) return std::string();
    return "  <rect x=\"" + X(l) + "\" y=\"" + Y(t) + "\" width=\"" + W(r - l) + "\" height=\"" +
           W(b - t) + "\" " + style + "/>\n";
  }
};

// The drawing shows the screen and the whole image, however far it reaches,
// below three lines of caption and above a legend.
SvgCanvas FitCanvas(const Edges& image, double sw, double sh) {
  const double minX = std::min(0.0, image.Left), maxX = std::max(sw, image.Right);
  const double minY = std::min(0.0, image.Top), maxY = std::max(sh, image.Bottom);
  const double spanX = std::max(maxX - minX, 1.0), spanY = std::max(maxY - minY, 1.0);
  const double drawMaxW = 560, drawMaxH = 380, header = 76, footer = 40;
  SvgCanvas c;
  c.Scale = std::min(drawMaxW / spanX, drawMaxH / spanY);
  const double drawW = spanX * c.Scale, drawH = spanY * c.Scale;
  c.OriginX = (c.Width - drawW) / 2.0 - minX * c.Scale;
  c.OriginY = header - minY * c.Scale;
  c.Height = header + drawH + footer;
  return c;
}

// Name, file and size; zoom and position; what lies where.
std::string Caption(const PictureInput& in, const Gaps& g) {
  std::string size = std::to_string(in.ImageWidth) + "×" + std::to_string(in.ImageHeight);
  std::string svg = "  <text x=\"16\" y=\"22\" font-size=\"15\" font-weight=\"bold\">" +
                    Escape(in.Name) + " — " + Escape(in.File) + ", " + size + " px</text>\n";
  svg += "  <text x=\"16\" y=\"42\">zoom " + Escape(in.Zoom) + " %, X " + Escape(in.X) + ", Y " +
         Escape(in.Y) + ": " + Printf("%.0f", g.Width) + "×" + Printf("%.0f", g.Height) +
         " px on a " + std::to_string(in.ScreenWidth) + "×" + std::to_string(in.ScreenHeight) +
         " screen</text>\n";
  std::string sides = SideText("left", g.Left) + " · " + SideText("right", g.Right) + " · " +
                      SideText("top", g.Top) + " · " + SideText("bottom", g.Bottom);
  if (!SameValue(in.Aspect, "0") && !in.Aspect.empty()) {
    sides += " · aspect " + Escape(in.Aspect) + " not drawn";
  }
  svg += "  <text x=\"16\" y=\"61\" fill=\"#444444\">" + sides + "</text>\n";
  return svg;
}

// Screen, then the image where it shows, then what sticks out; the centres.
std::string Shapes(const SvgCanvas& c, const Edges& im, double sw, double sh) {
  std::string svg = c.Rect(0, 0, sw, sh, "fill=\"#2b2f36\"");
  const double vl = std::max(im.Left, 0.0), vt = std::max(im.Top, 0.0);
  const double vr = std::min(im.Right, sw), vb = std::min(im.Bottom, sh);
  svg += c.Rect(vl, vt, vr, vb, "fill=\"#5b8fd6\"");
  svg += c.Rect(im.Left, im.Top, im.Right, std::min(im.Bottom, 0.0), kOutStyle);
  svg += c.Rect(im.Left, std::max(im.Top, sh), im.Right, im.Bottom, kOutStyle);
  svg += c.Rect(im.Left, vt, std::min(im.Right, 0.0), vb, kOutStyle);
  svg += c.Rect(std::max(im.Left, sw), vt, im.Right, vb, kOutStyle);
  svg += c.Rect(im.Left, im.Top, im.Right, im.Bottom,
                "fill=\"none\" stroke=\"#1d4f91\" stroke-width=\"1.5\" "
                "stroke-dasharray=\"6 4\"");
  svg += c.Rect(0, 0, sw, sh, "fill=\"none\" stroke=\"#000000\" stroke-width=\"2\"");
  const double cx = sw / 2, cy = sh / 2;
  svg += "  <path d=\"M" + c.X(cx) + " " + Num(c.OriginY + cy * c.Scale - 6) + "V" +
         Num(c.OriginY + cy * c.Scale + 6) + "M" + Num(c.OriginX + cx * c.Scale - 6) + " " +
         c.Y(cy) + "H" + Num(c.OriginX + cx * c.Scale + 6) +
         "\" stroke=\"#ffffff\" stroke-width=\"1.5\"/>\n";
  svg += "  <circle cx=\"" + c.X((im.Left + im.Right) / 2) + "\" cy=\"" +
         c.Y((im.Top + im.Bottom) / 2) +
         "\" r=\"3\" fill=\"#ffd24d\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n";
  return svg;
}

std::string Legend(const SvgCanvas& c) {
  const std::string ly = Num(c.Height - 16), by = Num(c.Height - 27);
  std::string svg = "  <rect x=\"16\" y=\"" + by +
                    "\" width=\"14\" height=\"14\" fill=\"#2b2f36\"/>"
                    "<text x=\"36\" y=\"" +
                    ly + "\">screen</text>\n";
  svg += "  <rect x=\"100\" y=\"" + by +
         "\" width=\"14\" height=\"14\" fill=\"#5b8fd6\"/>"
         "<text x=\"120\" y=\"" +
         ly + "\">image on screen</text>\n";
  svg += "  <rect x=\"240\" y=\"" + by +
         "\" width=\"14\" height=\"14\" fill=\"#e8806f\"/>"
         "<text x=\"260\" y=\"" +
         ly + "\">sticks out (cut off)</text>\n";
  svg += "  <circle cx=\"407\" cy=\"" + Num(c.Height - 20) +
         "\" r=\"3\" fill=\"#ffd24d\" "
         "stroke=\"#000000\" stroke-width=\"0.8\"/><text x=\"416\" y=\"" +
         ly + "\">image centre (+ screen centre)</text>\n";
  return svg;
}

}  // namespace

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0) {
      n = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      n = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      n = 2;
      cp = c & 0x1F;
    }
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
    i += n;
  }
  return width;
}

bool SameValue(const std::string& a, const std::string& b) {
  if (a == b) return true;
  auto number = [](const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
  };
  double x = 0, y = 0;
  return number(a, x) && number(b, y) && x == y;
}

int DecimalPlaces(const std::string& text) {
  std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  const auto digitsFrom = [&](std::size_t from) {
    i = std::min(text.find_first_not_of("0123456789", from), text.size());
    return i - from;
  };
  if (digitsFrom(i) == 0) return -1;
  if (i == text.size()) return 0;
  if (text[i] != '.') return -1;
  const std::size_t places = digitsFrom(i + 1);
  return places > 0 && i == text.size() ? static_cast<int>(places) : -1;
}

std::string WithDecimalPlaces(const std::string& text, int places) {
  const int has = DecimalPlaces(text);
  if (has < 0 || has >= places) return text;
  return text + (has == 0 ? "." : "") + std::string(static_cast<std::size_t>(places - has), '0');
}

std::string SpanText(std::int32_t first, std::int32_t last) {
  return std::to_string(first) + "-" + std::to_string(last);
}

std::string SecondsText(std::int32_t frames, std::int32_t rate, std::int32_t scale) {
  if (rate <= 0 || scale <= 0) return "?";
  return Printf("%.2f", static_cast<double>(frames) * scale / rate);
}

std::string FormatTable(const std::vector<TableRow>& rows, std::int32_t rate, std::int32_t scale,
                        const std::string& indent) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"object", "layer", "image px", "frames", "length", "zoom %", "X", "Y"});
  const ColumnPlaces places = PlacesOf(rows);
  for (const TableRow& row : rows)
    cells.push_back(CellsOf(row, rate, scale, places));
  std::vector<std::size_t> widths(cells[0].size(), 0);
  for (const auto& line : cells) {
    for (std::size_t i = 0; i < line.size(); ++i)
      widths[i] = std::max(widths[i], DisplayWidth(line[i]));
  }
  std::string out;
  for (std::size_t r = 0; r < cells.size(); ++r) {
    std::string text;
    for (std::size_t i = 0; i < cells[r].size(); ++i) {
      text += i + 1 == cells[r].size() ? cells[r][i] : Pad(cells[r][i], widths[i] + 2);
    }
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    out += indent + text + "\n";
    if (r == 0) {
      std::size_t total = 0;
      for (std::size_t w : widths)
        total += w + 2;
      out += indent + std::string(total - 2, '-') + "\n";
    }
  }
  return out;
}

Gaps ComputeGaps(const PictureInput& in) {
  Gaps g;
  double zoom = Parse(in.Zoom) / 100.0;
  g.Width = in.ImageWidth * zoom;
  g.Height = in.ImageHeight * zoom;
  double left = in.ScreenWidth / 2.0 + Parse(in.X) - g.Width / 2.0;
  double top = in.ScreenHeight / 2.0 + Parse(in.Y) - g.Height / 2.0;
  g.Left = left;
  g.Top = top;
  g.Right = in.ScreenWidth - (left + g.Width);
  g.Bottom = in.ScreenHeight - (top + g.Height);
  return g;
}

std::string RenderPicture(const PictureInput& in) {
  const Gaps g = ComputeGaps(in);
  const Edges image{g.Left, g.Top, g.Left + g.Width, g.Top + g.Height};
  const double sw = in.ScreenWidth, sh = in.ScreenHeight;
  const SvgCanvas canvas = FitCanvas(image, sw, sh);

  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(canvas.Width) +
                    "\" height=\"" + Num(canvas.Height) + "\" viewBox=\"0 0 " + Num(canvas.Width) +
                    " " + Num(canvas.Height) + "\" font-family=\"sans-serif\" font-size=\"13\">\n";
  svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += Caption(in, g);
  svg += Shapes(canvas, image, sw, sh);
  svg += Legend(canvas);
  svg += "</svg>\n";
  return svg;
}

}  // namespace hostsim
