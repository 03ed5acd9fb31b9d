// A picture of an image on the screen made of the image's own pixels: the
// placement the host gave it beside the one it has now, each on a reduced
// screen with what sticks out shown dimmed around the screen's frame. Read
// and written with the platform's imaging component, as a PNG.
#pragma once

#include <windows.h>

#include <string>

#include "hostsim/report.h"

struct IWICImagingFactory;

namespace hostsim {

// Draws `before` on the left and `after` on the right from the pixels of
// `imagePath` and writes the PNG. False, with `error` set, when the image
// cannot be decoded or the file cannot be written.
bool WritePlacementPng(IWICImagingFactory* factory, const std::wstring& imagePath,
                       const PictureInput& before, const PictureInput& after,
                       const std::wstring& pngPath, std::string& error);

// The window as it shows now, frame and caption included. False, with
// `error` set, when its pixels cannot be read or the file cannot be written.
bool WriteWindowPng(IWICImagingFactory* factory, HWND window, const std::wstring& pngPath,
                    std::string& error);

}  // namespace hostsim
