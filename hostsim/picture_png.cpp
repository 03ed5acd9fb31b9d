// Placement pictures from the image's pixels, through the Windows Imaging
// Component.
#include "hostsim/picture_png.h"

#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hostsim/media_wic.h"

namespace hostsim {
namespace {

using Microsoft::WRL::ComPtr;

struct Rgb {
  std::uint8_t R, G, B;
};

constexpr Rgb kBackground{0xee, 0xee, 0xee};
constexpr Rgb kScreen{0x00, 0x00, 0x00};
constexpr Rgb kFrame{0xd0, 0x34, 0x2c};
constexpr Rgb kLabel{0x33, 0x33, 0x33};
// What sticks out keeps this much of its own colour; the rest is background.
constexpr double kOverhangStrength = 0.35;
constexpr double kScreenBoxWidth = 640, kScreenBoxHeight = 480;
constexpr int kMinRoom = 12;
constexpr int kFrameWidth = 2;
constexpr int kGlyphScale = 2;

// Three bytes a pixel, blue first, as the PNG encoder takes them.
class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width), height_(height), bytes_(static_cast<std::size_t>(width) * height * 3) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  void Fill(int x, int y, int w, int h, Rgb c) {
    for (int row = std::max(y, 0); row < std::min(y + h, height_); ++row) {
      for (int col = std::max(x, 0); col < std::min(x + w, width_); ++col)
        Set(col, row, c);
    }
  }
  void Outline(int x, int y, int w, int h, int thickness, Rgb c) {
    Fill(x, y, w, thickness, c);
    Fill(x, y + h - thickness, w, thickness, c);
    Fill(x, y, thickness, h, c);
    Fill(x + w - thickness, y, thickness, h, c);
  }
  void Set(int x, int y, Rgb c) {
    std::uint8_t* p = At(x, y);
    p[0] = c.B, p[1] = c.G, p[2] = c.R;
  }
  // A straight-alpha BGRA pixel over what is there, then kept at `strength`
  // against the background.
  void Blend(int x, int y, const std::uint8_t* bgra, double strength) {
    std::uint8_t* p = At(x, y);
    const std::uint8_t background[3] = {kBackground.B, kBackground.G, kBackground.R};
    for (int i = 0; i < 3; ++i) {
      double over = p[i] + (bgra[i] - p[i]) * (bgra[3] / 255.0);
      p[i] =
          static_cast<std::uint8_t>(std::lround(background[i] + (over - background[i]) * strength));
    }
  }

 private:
  std::uint8_t* At(int x, int y) { return &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 3]; }
  int width_, height_;
  std::vector<std::uint8_t> bytes_;
};

// A 5x7 font with just what the labels need; other characters are blank.
struct Glyph {
  char Char;
  std::uint8_t Rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'A', {0x0e, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11}},
    {'B', {0x1e, 0x11, 0x11, 0x1e, 0x11, 0x11, 0x1e}},
    {'E', {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x1f}},
    {'F', {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x10}},
    {'M', {0x11, 0x1b, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'O', {0x0e, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0e}},
    {'R', {0x1e, 0x11, 0x11, 0x1e, 0x14, 0x12, 0x11}},
    {'T', {0x1f, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'X', {0x11, 0x11, 0x0a, 0x04, 0x0a, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0a, 0x04, 0x04, 0x04, 0x04}},
    {'Z', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1f}},
    {'0', {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}},
    {'1', {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e}},
    {'2', {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}},
    {'3', {0x1e, 0x01, 0x01, 0x0e, 0x01, 0x01, 0x1e}},
    {'4', {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}},
    {'5', {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e}},
    {'6', {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}},
    {'7', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}},
    {'9', {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c}},
    {'-', {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'P', {0x1e, 0x11, 0x11, 0x1e, 0x10, 0x10, 0x10}},
    // Arrows: left, right, up, down.
    {'<', {0x00, 0x04, 0x08, 0x1f, 0x08, 0x04, 0x00}},
    {'>', {0x00, 0x04, 0x02, 0x1f, 0x02, 0x04, 0x00}},
    {'^', {0x04, 0x0e, 0x15, 0x04, 0x04, 0x04, 0x04}},
    {'v', {0x04, 0x04, 0x04, 0x04, 0x15, 0x0e, 0x04}},
};

// Text from (x, y), cut where a character would pass `right`.
void DrawText(Canvas& canvas, int x, int y, int right, const std::string& text) {
  for (char c : text) {
    if (x + 5 * kGlyphScale > right) return;
    for (const Glyph& g : kGlyphs) {
      if (g.Char != c) continue;
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if (g.Rows[row] & (0x10 >> col)) {
            canvas.Fill(x + col * kGlyphScale, y + row * kGlyphScale, kGlyphScale, kGlyphScale,
                        kLabel);
          }
        }
      }
    }
    x += 6 * kGlyphScale;
  }
}

std::string LabelText(const char* title, const PictureInput& in) {
  return std::string(title) + "  ZOOM " + in.Zoom + "%  X " + in.X + "  Y " + in.Y;
}

// Reads the image a row at a time as straight-alpha BGRA and keeps only the
// last row read: a very large image costs one row of memory, and only the
// rows that the canvas samples are converted. A scaler would convert every
// source row in reach, and Wine's asks for them all in one piece.
class RowReader {
 public:
  HRESULT Open(IWICImagingFactory* factory, IWICBitmapSource* frame) {
    HRESULT hr = frame->GetSize(&width_, &height_);
    if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&converter_);
    if (SUCCEEDED(hr)) {
      hr = converter_->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                  nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    bgra_.resize(static_cast<std::size_t>(width_) * 4);
    return hr;
  }

  bool Holds(const PictureInput& in) const {
    return in.ImageWidth >= 0 && static_cast<UINT>(in.ImageWidth) == width_ &&
           in.ImageHeight >= 0 && static_cast<UINT>(in.ImageHeight) == height_;
  }

  HRESULT Row(UINT y, const std::uint8_t*& row) {
    if (y != last_) {
      // Whole rows: some decoders cannot start a row of packed pixels mid-byte.
      const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width_), 1};
      HRESULT hr =
          converter_->CopyPixels(&rect, width_ * 4, static_cast<UINT>(bgra_.size()), bgra_.data());
      if (FAILED(hr)) return hr;
      last_ = y;
    }
    row = bgra_.data();
    return S_OK;
  }

 private:
  ComPtr<IWICFormatConverter> converter_;
  UINT width_ = 0, height_ = 0;
  UINT last_ = UINT_MAX;
  std::vector<std::uint8_t> bgra_;
};

// Where the two panels lie on the canvas, in canvas pixels. Both panels have
// the same size: the screen, and room around it for what sticks out.
struct PanelLayout {
  double Scale = 0;  // canvas pixels per screen pixel
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  int RoomLeft = 0, RoomTop = 0, RoomRight = 0, RoomBottom = 0;
  int PanelWidth = 0;
  int PanelHeight = 0;
  int LabelHeight = 0;  // above the panels
  int Gap = 0;          // between them
  int Width = 0;        // the whole canvas
  int Height = 0;
};

// The room on each side is what sticks out there in either placement, capped
// so that a far overhang does not dwarf the screen (MarkCuts shows the cut).
PanelLayout LayOutPanels(const PictureInput& before, const PictureInput& after) {
  PanelLayout l;
  const double sw = std::max(after.ScreenWidth, 1), sh = std::max(after.ScreenHeight, 1);
  l.Scale = std::min(kScreenBoxWidth / sw, kScreenBoxHeight / sh);
  l.ScreenWidth = std::max(1, static_cast<int>(std::lround(sw * l.Scale)));
  l.ScreenHeight = std::max(1, static_cast<int>(std::lround(sh * l.Scale)));
  const double cap = std::max(l.ScreenWidth, l.ScreenHeight) / 4.0;
  auto room = [&](double gapBefore, double gapAfter) {
    double out = -std::min({gapBefore, gapAfter, 0.0}) * l.Scale;
    if (!(out <= cap)) out = cap;  // also when the placement is not a number
    return std::max(kMinRoom, static_cast<int>(std::ceil(out)));
  };
  const Gaps b = ComputeGaps(before), a = ComputeGaps(after);
  l.RoomLeft = room(b.Left, a.Left);
  l.RoomRight = room(b.Right, a.Right);
  l.RoomTop = room(b.Top, a.Top);
  l.RoomBottom = room(b.Bottom, a.Bottom);
  l.PanelWidth = l.RoomLeft + l.ScreenWidth + l.RoomRight;
  l.PanelHeight = l.RoomTop + l.ScreenHeight + l.RoomBottom;
  l.LabelHeight = 7 * kGlyphScale + 2 * kMinRoom;
  l.Gap = 2 * kMinRoom;
  l.Width = 2 * l.PanelWidth + l.Gap;
  l.Height = l.LabelHeight + l.PanelHeight;
  return l;
}

// The canvas pixels, from `lo` up to `hi`, whose centres lie past `edge`.
int FirstCovered(double edge, int lo, int hi) {
  return static_cast<int>(
      std::clamp(std::ceil(edge - 0.5), static_cast<double>(lo), static_cast<double>(hi)));
}

// The image pixel, along one axis, under a canvas pixel's centre, for an
// image that starts at `origin` and is `length` canvas pixels long.
UINT PixelUnder(double centre, double origin, double length, std::int32_t imageLength) {
  double i = std::floor((centre - origin) / length * imageLength);
  return static_cast<UINT>(std::clamp(i, 0.0, imageLength - 1.0));
}

// The image where `in` puts it, on the screen and around it, in the panel
// that starts at `panelLeft`.
HRESULT DrawImage(RowReader& reader, const PanelLayout& l, const PictureInput& in, int panelLeft,
                  Canvas& canvas) {
  const int panelTop = l.LabelHeight, left = panelLeft + l.RoomLeft, top = panelTop + l.RoomTop;
  const Gaps g = ComputeGaps(in);
  const double x0 = left + g.Left * l.Scale, y0 = top + g.Top * l.Scale;
  const double w = g.Width * l.Scale, h = g.Height * l.Scale;
  if (!std::isfinite(x0 + y0 + w + h) || !(w > 0) || !(h > 0)) return S_OK;  // nothing to show
  const int xBegin = FirstCovered(x0, panelLeft, panelLeft + l.PanelWidth);
  const int xEnd = FirstCovered(x0 + w, panelLeft, panelLeft + l.PanelWidth);
  const int yBegin = FirstCovered(y0, panelTop, panelTop + l.PanelHeight);
  const int yEnd = FirstCovered(y0 + h, panelTop, panelTop + l.PanelHeight);
  if (xBegin >= xEnd || yBegin >= yEnd) return S_OK;

  for (int y = yBegin; y < yEnd; ++y) {
    const std::uint8_t* row = nullptr;
    HRESULT hr = reader.Row(PixelUnder(y + 0.5, y0, h, in.ImageHeight), row);
    if (FAILED(hr)) return hr;
    const bool screenRow = y >= top && y < top + l.ScreenHeight;
    for (int x = xBegin; x < xEnd; ++x) {
      const bool onScreen = screenRow && x >= left && x < left + l.ScreenWidth;
      canvas.Blend(x, y, row + std::size_t{PixelUnder(x + 0.5, x0, w, in.ImageWidth)} * 4,
                   onScreen ? 1.0 : kOverhangStrength);
    }
  }
  return S_OK;
}

constexpr int kTearDepth = 6;

// A torn edge along the outer side of the room: teeth of background, so that
// the image plainly goes on beyond it.
void Tear(Canvas& canvas, int x, int y, int length, bool vertical, bool fromLow) {
  for (int i = 0; i < length; ++i) {
    const int depth = std::abs(i % (2 * kTearDepth) - kTearDepth);
    const int start = fromLow ? 0 : kTearDepth - depth;
    if (vertical) {
      canvas.Fill(x + start, y + i, depth, 1, kBackground);
    } else {
      canvas.Fill(x + i, y + start, 1, depth, kBackground);
    }
  }
}

// The true size of an overhang cut at the room's edge, on a plain patch.
void CutLabel(Canvas& canvas, int x, int y, const std::string& text) {
  const int width = static_cast<int>(text.size()) * 6 * kGlyphScale;
  canvas.Fill(x - 3, y - 3, width + 6, 7 * kGlyphScale + 6, kBackground);
  DrawText(canvas, x, y, x + width, text);
}

// Where the image reaches past the room drawn for it, the room's outer edge
// is torn and the whole overhang given in screen pixels.
void MarkCuts(const PanelLayout& l, const PictureInput& in, int panelLeft, Canvas& canvas) {
  const Gaps g = ComputeGaps(in);
  const int top = l.LabelHeight, right = panelLeft + l.PanelWidth;
  const int bottom = top + l.PanelHeight, textHeight = 7 * kGlyphScale;
  const int middleY = top + l.RoomTop + l.ScreenHeight / 2 - textHeight / 2;
  auto text = [](double gap, const char* before, const char* after) {
    return std::string(before) + std::to_string(std::lround(-gap)) + " PX" + after;
  };
  auto width = [](const std::string& t) { return static_cast<int>(t.size()) * 6 * kGlyphScale; };
  if (-g.Left * l.Scale > l.RoomLeft) {
    Tear(canvas, panelLeft, top, l.PanelHeight, true, true);
    CutLabel(canvas, panelLeft + kTearDepth + 4, middleY, text(g.Left, "< ", ""));
  }
  if (-g.Right * l.Scale > l.RoomRight) {
    const std::string t = text(g.Right, "", " >");
    Tear(canvas, right - kTearDepth, top, l.PanelHeight, true, false);
    CutLabel(canvas, right - kTearDepth - 4 - width(t), middleY, t);
  }
  const int middleX = panelLeft + l.RoomLeft + l.ScreenWidth / 2;
  if (-g.Top * l.Scale > l.RoomTop) {
    const std::string t = text(g.Top, "^ ", "");
    Tear(canvas, panelLeft, top, l.PanelWidth, false, true);
    CutLabel(canvas, middleX - width(t) / 2, top + kTearDepth + 4, t);
  }
  if (-g.Bottom * l.Scale > l.RoomBottom) {
    const std::string t = text(g.Bottom, "v ", "");
    Tear(canvas, panelLeft, bottom - kTearDepth, l.PanelWidth, false, false);
    CutLabel(canvas, middleX - width(t) / 2, bottom - kTearDepth - 4 - textHeight, t);
  }
}

// One panel: the screen, the image, the screen's frame over what sticks out,
// the marks of a cut overhang, and the label above.
HRESULT DrawPanel(RowReader& reader, const PanelLayout& l, const PictureInput& in,
                  const char* title, int panelLeft, Canvas& canvas) {
  const int left = panelLeft + l.RoomLeft, top = l.LabelHeight + l.RoomTop;
  canvas.Fill(left, top, l.ScreenWidth, l.ScreenHeight, kScreen);
  HRESULT hr = DrawImage(reader, l, in, panelLeft, canvas);
  canvas.Outline(left - kFrameWidth, top - kFrameWidth, l.ScreenWidth + 2 * kFrameWidth,
                 l.ScreenHeight + 2 * kFrameWidth, kFrameWidth, kFrame);
  MarkCuts(l, in, panelLeft, canvas);
  DrawText(canvas, left, (l.LabelHeight - 7 * kGlyphScale) / 2, panelLeft + l.PanelWidth,
           LabelText(title, in));
  return hr;
}

HRESULT EncodePng(IWICImagingFactory* factory, const Canvas& canvas, const std::wstring& path) {
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &options);
  if (SUCCEEDED(hr)) hr = frame->Initialize(options.Get());
  if (SUCCEEDED(hr)) hr = frame->SetSize(canvas.Width(), canvas.Height());
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR)
    hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (SUCCEEDED(hr)) {
    const UINT stride = static_cast<UINT>(canvas.Width()) * 3;
    hr = frame->WritePixels(canvas.Height(), stride, static_cast<UINT>(canvas.Bytes().size()),
                            const_cast<BYTE*>(canvas.Bytes().data()));
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  return hr;
}

// The window's pixels as it shows them now, frame and caption included.
HRESULT CaptureWindow(HWND window, Canvas& canvas) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = canvas.Width();
  info.bmiHeader.biHeight = -canvas.Height();  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HRESULT hr = memory != nullptr && bitmap != nullptr ? S_OK : E_OUTOFMEMORY;
  if (SUCCEEDED(hr)) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    // From the window's own surface, not the screen: another window over it
    // does not show.
    HDC windowDc = GetWindowDC(window);
    const BOOL ok = BitBlt(memory, 0, 0, canvas.Width(), canvas.Height(), windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    if (!ok) hr = HRESULT_FROM_WIN32(GetLastError());
    SelectObject(memory, old);
  }
  if (SUCCEEDED(hr)) {
    const auto* pixel = static_cast<const std::uint8_t*>(bits);
    for (int y = 0; y < canvas.Height(); ++y) {
      for (int x = 0; x < canvas.Width(); ++x, pixel += 4)
        canvas.Set(x, y, Rgb{pixel[2], pixel[1], pixel[0]});
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  return hr;
}

// The canvas as a PNG file; false, with the reason, when it cannot be written.
bool WriteCanvas(IWICImagingFactory* factory, const Canvas& canvas, const std::wstring& pngPath,
                 std::string& error) {
  const HRESULT hr = EncodePng(factory, canvas, pngPath);
  if (FAILED(hr)) error = HresultText("writing the PNG", hr);
  return SUCCEEDED(hr);
}

}  // namespace

bool WriteWindowPng(IWICImagingFactory* factory, HWND window, const std::wstring& pngPath,
                    std::string& error) {
  RECT r{};
  if (factory == nullptr || !GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
    error =
        factory == nullptr ? "the imaging component is not available" : "the window has no size";
    return false;
  }
  Canvas canvas(r.right - r.left, r.bottom - r.top);
  HRESULT hr = CaptureWindow(window, canvas);
  if (FAILED(hr)) {
    error = HresultText("reading the window's pixels", hr);
    return false;
  }
  return WriteCanvas(factory, canvas, pngPath, error);
}

bool WritePlacementPng(IWICImagingFactory* factory, const std::wstring& imagePath,
                       const PictureInput& before, const PictureInput& after,
                       const std::wstring& pngPath, std::string& error) {
  if (factory == nullptr) {
    error = "the imaging component is not available";
    return false;
  }
  // The labels give each number with as many decimals before as after.
  PictureInput left = before, right = after;
  for (std::string PictureInput::*item :
       {&PictureInput::Zoom, &PictureInput::X, &PictureInput::Y}) {
    const int places = std::max(DecimalPlaces(left.*item), DecimalPlaces(right.*item));
    left.*item = WithDecimalPlaces(left.*item, places);
    right.*item = WithDecimalPlaces(right.*item, places);
  }
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  HRESULT hr = factory->CreateDecoderFromFilename(imagePath.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  const PanelLayout l = LayOutPanels(left, right);
  Canvas canvas(l.Width, l.Height);
  canvas.Fill(0, 0, l.Width, l.Height, kBackground);
  RowReader reader;
  if (SUCCEEDED(hr)) hr = reader.Open(factory, frame.Get());
  // The sizes drawn from must be the pixels read.
  if (SUCCEEDED(hr) && (!reader.Holds(left) || !reader.Holds(right))) hr = E_UNEXPECTED;
  if (SUCCEEDED(hr)) hr = DrawPanel(reader, l, left, "BEFORE", 0, canvas);
  if (SUCCEEDED(hr)) hr = DrawPanel(reader, l, right, "AFTER", l.PanelWidth + l.Gap, canvas);
  if (FAILED(hr)) {
    error = HresultText("decoding the image", hr);
    return false;
  }
  return WriteCanvas(factory, canvas, pngPath, error);
}

}  // namespace hostsim
