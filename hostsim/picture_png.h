// A picture of an image on the screen made of the image's own pixels: the
// placement the host gave it beside the one it has now, each on a reduced
// screen with what sticks out shown dimmed around the screen's frame. Read
// and written with the platform's imaging component, as a PNG.
#pragma once

#include <string>

#include "hostsim/report.h"

struct IWICImagingFactory;

namespace hostsim {

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
// so that a far overhang does not dwarf the screen.
PanelLayout LayOutPanels(const PictureInput& before, const PictureInput& after);

// Draws `before` on the left and `after` on the right from the pixels of
// `imagePath` and writes the PNG. False, with `error` set, when the image
// cannot be decoded or the file cannot be written.
bool WritePlacementPng(IWICImagingFactory* factory, const std::wstring& imagePath,
                       const PictureInput& before, const PictureInput& after,
                       const std::wstring& pngPath, std::string& error);

}  // namespace hostsim
