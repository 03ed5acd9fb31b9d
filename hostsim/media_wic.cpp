// Image sizes through the Windows Imaging Component.
#include "hostsim/media_wic.h"

#include <objbase.h>
#include <wincodec.h>

#include <cstdio>

namespace hostsim {

using Microsoft::WRL::ComPtr;

std::string HresultText(const char* what, HRESULT hr) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%s failed (0x%08lx)", what, static_cast<unsigned long>(hr));
  return buffer;
}

WicMediaReader::WicMediaReader() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // S_FALSE: already started on this thread; it still needs its own Uninitialize.
  comStarted_ = SUCCEEDED(hr);
  if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) {
    error_ = HresultText("CoInitializeEx", hr);
    return;
  }
  hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                        IID_PPV_ARGS(factory_.GetAddressOf()));
  if (FAILED(hr)) error_ = HresultText("creating the imaging factory", hr);
}

WicMediaReader::~WicMediaReader() {
  factory_.Reset();
  if (comStarted_) CoUninitialize();
}

bool WicMediaReader::ReadSize(const std::wstring& path, ImageSize& size) const {
  if (factory_ == nullptr || path.empty()) return false;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  // Only the header is needed; metadata is read on demand.
  bool ok = SUCCEEDED(factory_->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                          WICDecodeMetadataCacheOnDemand,
                                                          decoder.GetAddressOf())) &&
            SUCCEEDED(decoder->GetFrame(0, frame.GetAddressOf())) &&
            SUCCEEDED(frame->GetSize(&width, &height));
  if (!ok || width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return false;
  size.Width = static_cast<std::int32_t>(width);
  size.Height = static_cast<std::int32_t>(height);
  return true;
}

bool WicMediaReader::Read(const std::wstring& path, velmora::MediaInfo* info) const {
  ImageSize size;
  if (info == nullptr || !ReadSize(path, size)) return false;
  *info = velmora::MediaInfo{};
  info->Duration = 0.0;
  info->PixelWidth = size.Width;
  info->PixelHeight = size.Height;
  return true;
}

}  // namespace hostsim
