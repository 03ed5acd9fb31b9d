// Reads what the host needs to know about a media file (its pixel size) by
// decoding it with the platform's imaging component, the way the host itself
// asks the system for an image's size. Installed as Host::MediaReader.
#pragma once

#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "plugin/host/host_api.h"

struct IWICImagingFactory;

namespace hostsim {

// "WHAT failed (0x8007...)", for an error message.
std::string HresultText(const char* what, HRESULT hr);

struct ImageSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

// Owns the COM apartment and the imaging factory for the life of the object;
// make one on the thread that will read.
class WicMediaReader {
 public:
  WicMediaReader();
  ~WicMediaReader();
  WicMediaReader(const WicMediaReader&) = delete;
  WicMediaReader& operator=(const WicMediaReader&) = delete;

  // False when the imaging component could not be started; Error() says why.
  bool Ready() const { return factory_ != nullptr; }
  const std::string& Error() const { return error_; }
  // For drawing from the images' pixels; null when not Ready().
  IWICImagingFactory* Factory() const { return factory_.Get(); }

  // The first frame's size in pixels; false for a file that is missing or
  // that no installed decoder understands.
  bool ReadSize(const std::wstring& path, ImageSize& size) const;
  // The host's ReadMediaInfo for a still image: size filled, no duration.
  bool Read(const std::wstring& path, velmora::MediaInfo* info) const;

 private:
  // Released before COM is stopped, in the destructor's body.
  Microsoft::WRL::ComPtr<IWICImagingFactory> factory_;
  bool comStarted_ = false;
  std::string error_;
};

}  // namespace hostsim
