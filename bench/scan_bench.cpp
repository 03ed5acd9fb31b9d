// How long one scan takes on timelines of 1,000, 10,000 and 100,000 objects,
// set against a bare walk that makes the same host calls and conversions but
// keeps nothing, so that their ratio shows what the known-object registry,
// the candidate sets and the automatic pass add to the unavoidable reading of
// the timeline. Also measures the registry's memory per known id.
//
// Runs in-process against the simulated host, with its call log off. Prints
// Markdown tables; exits 1 when a scan did not do the work it was set up for
// (other objects aligned or known, a fit refused, a host rule broken), so a
// figure never comes from a scan that silently did something else.
#include <windows.h>
#include <malloc.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "align/passes.h"
#include "detect/detect_state.h"
#include "detect/scan.h"
#include "detect/survey.h"
#include "hostsim/host.h"
#include "plugin/host/host_state.h"
#include "plugin/host/timeline.h"
#include "plugin/shell.h"
#include "settings/settings.h"

namespace {

using velmora::ObjectHandle;
using velmora::ObjectId;
using velmora::TimelineAccess;

constexpr std::int32_t kLayers = 100;
// Frames from one object's start to the next on a layer: room for the pass
// to lengthen an aligned image (30 frames) to 3 s at 30 fps without
// overlapping its neighbour, which the host would refuse.
constexpr std::int32_t kSpacing = 100;
constexpr std::int32_t kLength = 30;
constexpr std::uint32_t kFirstSceneKey = 100;
constexpr std::uint32_t kMemorySceneKey = 1000;
constexpr int kRounds = 15;
constexpr int kMemoryReps = 4;

// ---- clock ----

double g_TicksPerMs = 1.0;

std::int64_t Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

double MsBetween(std::int64_t from, std::int64_t to) {
  return static_cast<double>(to - from) / g_TicksPerMs;
}
double MsSince(std::int64_t start) { return MsBetween(start, Now()); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Committed private memory, summed over the address space: what Windows
// reports as a process's private bytes. Wine leaves PrivateUsage of
// GetProcessMemoryInfo at 0, so the regions are added up here instead.
std::size_t PrivateBytes() {
  std::size_t total = 0;
  MEMORY_BASIC_INFORMATION region;
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

// ---- the memory one scan holds at once ----
// Two figures. Committed private memory grows only inside an allocation and
// shrinks only inside a free, so while a scan is watched it is sampled just
// before every free that follows an allocation, and once the scan has
// returned: that catches a list's old and new block side by side as it grows.
// Where the heap serves a scan from memory it had committed before, that
// figure reads less than the scan took, so the bytes of the blocks allocated
// (by the plug-in and by the host alike) are counted too, with their own
// highest point. Both come from the program's operator new and delete below.

struct MemoryWatch {
  bool Watching = false;
  bool AllocatedSinceSample = false;
  std::size_t PeakPrivate = 0, PeakAllocated = 0;
} g_Memory;
// Bytes in the blocks allocated and not yet freed, whole program; the event
// thread allocates too.
std::atomic<std::size_t> g_AllocatedBytes{0};

void SamplePrivateBytes() {
  g_Memory.AllocatedSinceSample = false;
  g_Memory.PeakPrivate = std::max(g_Memory.PeakPrivate, PrivateBytes());
}

void* AllocateCounted(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  const std::size_t bytes = _msize(block);
  const std::size_t held = g_AllocatedBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  if (g_Memory.Watching) {
    g_Memory.AllocatedSinceSample = true;
    g_Memory.PeakAllocated = std::max(g_Memory.PeakAllocated, held);
  }
  return block;
}

void FreeCounted(void* block) {
  if (block == nullptr) return;
  if (g_Memory.Watching && g_Memory.AllocatedSinceSample) SamplePrivateBytes();
  g_AllocatedBytes.fetch_sub(_msize(block), std::memory_order_relaxed);
  std::free(block);
}

struct HeldMemory {
  std::size_t Committed = 0, Allocated = 0;  // bytes beyond those before
};

// The most memory `work` held at once beyond what the process held before.
template <typename Work>
HeldMemory PeakMemoryOf(Work&& work) {
  const std::size_t committed = PrivateBytes();
  const std::size_t allocated = g_AllocatedBytes.load();
  g_Memory = MemoryWatch{true, false, committed, allocated};
  work();
  SamplePrivateBytes();
  g_Memory.Watching = false;
  return HeldMemory{g_Memory.PeakPrivate - committed, g_Memory.PeakAllocated - allocated};
}

// ---- time spent inside the host's edit-handle calls ----
// The plug-in's edit handle is the host's; its three entries are replaced by
// wrappers that time the host's own ones, for scan and bare walk alike.

velmora::EditHandle g_HostEntries;
struct HostTime {
  double Query = 0, Read = 0, Edit = 0;
} g_HostTime;

// The time of the next scan's first host call: set while it is 0, which the
// event timing below puts back before each event.
std::int64_t g_ScanStartAt = 0;

std::uint8_t VELMORA_HOSTCALL TimedQuery(velmora::TimelineInfo* info, std::int32_t size) {
  std::int64_t start = Now();
  if (g_ScanStartAt == 0) g_ScanStartAt = start;
  std::uint8_t result = g_HostEntries.QueryTimelineInfo(info, size);
  g_HostTime.Query += MsSince(start);
  return result;
}

std::uint8_t VELMORA_HOSTCALL TimedRead(velmora::EditCallback callback) {
  std::int64_t start = Now();
  std::uint8_t result = g_HostEntries.RunRead(callback);
  g_HostTime.Read += MsSince(start);
  return result;
}

std::uint8_t VELMORA_HOSTCALL TimedEdit(velmora::EditCallback callback) {
  std::int64_t start = Now();
  std::uint8_t result = g_HostEntries.RunEdit(callback);
  g_HostTime.Edit += MsSince(start);
  return result;
}

void WrapEditHandle() {
  velmora::EditHandle* edit = velmora::state::Edit;
  g_HostEntries = *edit;
  edit->QueryTimelineInfo = &TimedQuery;
  edit->RunRead = &TimedRead;
  edit->RunEdit = &TimedEdit;
}

// ---- the bare walk ----
// The survey's walk and per-object calls in the same order, through the same
// walk, tests and path conversion, folded into counters instead of records.

struct BareTotals {
  std::size_t Objects = 0, Images = 0, Defaults = 0, PathUnits = 0;
  ObjectId IdSum = 0;
} g_Bare;
std::int32_t g_BareLastLayer = -1;
velmora::TextArena g_BarePath;

void VisitObject(TimelineAccess* access, ObjectHandle object) {
  ++g_Bare.Objects;
  g_Bare.IdSum += access->GetObjectId(object);
  if (!velmora::IsImageObject(access, object)) return;
  ++g_Bare.Images;
  if (velmora::IsDefaultPlacement(access, object)) ++g_Bare.Defaults;
  // Converted as the survey does, into a buffer used again for every path.
  g_Bare.PathUnits += g_BarePath.AddWideFromUtf8(velmora::ImageFileText(access, object)).size();
  g_BarePath.Clear();
}

void VELMORA_HOSTCALL BareWalk(TimelineAccess* access) {
  velmora::ForEachObject(access, g_BareLastLayer,
                         [access](ObjectHandle object) { VisitObject(access, object); });
}

// One lookup, so the host builds its index as it does for any real callback.
void VELMORA_HOSTCALL EmptyCallback(TimelineAccess* access) { access->ObjectAtOrAfter(0, 0); }

// The scan's first two host calls, with the bare walk in place of the survey.
void RunBareWalk() {
  velmora::EditHandle* edit = velmora::state::Edit;
  velmora::TimelineInfo info{};
  edit->QueryTimelineInfo(&info, sizeof info);
  g_BareLastLayer = info.LastLayer;
  g_Bare = BareTotals{};
  edit->RunRead(&BareWalk);
}

// ---- the timeline ----
// Base object i (the scene as the baseline scan finds it), by i % 10:
//   0-4 image at its default placement, its own file
//   5-6 image moved or zoomed (one of the four items off), its own file
//   7-8 text-like object: standard drawing, no image file
//   9   sound-like object: neither effect
// New object j (5 % of the base, added before each measured scan), by j % 10:
//   0   image at its default placement, a file no known image shows: aligned
//   1-4 image at its default placement showing a base image's file: known
//   5-6 image off its default placement, its own file: known
//   7-8 text-like, 9 sound-like: known
// Base objects fill the layers round-robin from frame 0; new ones are placed
// after the last base object of their layer.

std::wstring BaseImagePath(std::int64_t i) {
  return L"D:\\素材\\写真_" + std::to_wstring(i) + L".png";
}
std::wstring NewImagePath(std::int64_t j) {
  return L"D:\\貼り付け\\新規_" + std::to_wstring(j) + L".png";
}
std::wstring MovedImagePath(std::int64_t j) {
  return L"D:\\素材\\追加_" + std::to_wstring(j) + L".png";
}

void AddTextLike(hostsim::Host& host, std::int32_t layer, std::int32_t first) {
  hostsim::SimObject& object = host.AddObject(layer, first, first + kLength - 1);
  object.Effects[hostsim::kDrawEffect] = 1;
  object.SetItem(hostsim::kDrawEffect, hostsim::kXItem, "0.0");
  object.SetItem(hostsim::kDrawEffect, hostsim::kYItem, "0.0");
  object.SetItem(hostsim::kDrawEffect, hostsim::kZoomItem, "100.00");
}

void AddSoundLike(hostsim::Host& host, std::int32_t layer, std::int32_t first) {
  hostsim::SimObject& object = host.AddObject(layer, first, first + kLength - 1);
  object.Effects[L"音声ファイル"] = 1;
}

void AddMovedImage(hostsim::Host& host, std::int32_t layer, std::int32_t first,
                   const std::wstring& path, std::int64_t variant) {
  hostsim::SimObject& object = host.AddImage(layer, first, first + kLength - 1, path);
  switch (variant % 4) {
    case 0: object.SetItem(hostsim::kDrawEffect, hostsim::kXItem, "64.00"); break;
    case 1: object.SetItem(hostsim::kDrawEffect, hostsim::kYItem, "-32.00"); break;
    case 2: object.SetItem(hostsim::kDrawEffect, hostsim::kZoomItem, "80.000"); break;
    default: object.SetItem(hostsim::kDrawEffect, hostsim::kAspectItem, "0.500"); break;
  }
}

std::int32_t BaseSlots(std::int64_t base) {
  return static_cast<std::int32_t>((base + kLayers - 1) / kLayers);
}

void AddBase(hostsim::Host& host, std::int64_t base) {
  for (std::int64_t i = 0; i < base; ++i) {
    auto layer = static_cast<std::int32_t>(i % kLayers);
    auto first = static_cast<std::int32_t>(i / kLayers) * kSpacing;
    std::int64_t kind = i % 10;
    if (kind <= 4) {
      host.AddImage(layer, first, first + kLength - 1, BaseImagePath(i));
    } else if (kind <= 6) {
      AddMovedImage(host, layer, first, BaseImagePath(i), i / 10);
    } else if (kind <= 8) {
      AddTextLike(host, layer, first);
    } else {
      AddSoundLike(host, layer, first);
    }
  }
}

// A base image at its default placement, picked by j.
std::int64_t DuplicatedBase(std::int64_t base, std::int64_t j) {
  return ((j * 7919) % (base / 10)) * 10 + j % 5;
}

void AddNew(hostsim::Host& host, std::int64_t base, std::int64_t count) {
  const std::int32_t slots = BaseSlots(base);
  for (std::int64_t j = 0; j < count; ++j) {
    auto layer = static_cast<std::int32_t>(j % kLayers);
    auto first = (slots + static_cast<std::int32_t>(j / kLayers)) * kSpacing;
    std::int64_t kind = j % 10;
    if (kind == 0) {
      host.AddImage(layer, first, first + kLength - 1, NewImagePath(j));
    } else if (kind <= 4) {
      host.AddImage(layer, first, first + kLength - 1, BaseImagePath(DuplicatedBase(base, j)));
    } else if (kind <= 6) {
      AddMovedImage(host, layer, first, MovedImagePath(j), j / 10);
    } else if (kind <= 8) {
      AddTextLike(host, layer, first);
    } else {
      AddSoundLike(host, layer, first);
    }
  }
}

std::int64_t ExpectedAligned(std::int64_t count) { return (count + 9) / 10; }
std::int64_t ExpectedImages(std::int64_t count) {
  std::int64_t images = 0;
  for (std::int64_t i = 0; i < count; ++i)
    images += (i % 10) <= 6 ? 1 : 0;
  return images;
}

// ---- checks ----

bool g_Failed = false;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    g_Failed = true;
  }
}

std::size_t KnownCount(std::uint32_t key) {
  auto& registry = velmora::state::KnownObjects;
  auto it = registry.find(key);
  return it == registry.end() ? 0 : it->second.size();
}

// ---- one size ----

struct Samples {
  std::vector<double> Scan, Bare, InRead, InEdit, Own, BareInRead, Empty, Ratio, RatioLessEdit;
  std::vector<double> OwnLessBare;  // scan less bare walk less pass, per pair
  std::vector<double> PassShare;    // time inside RunEdit over the bare walk, per pair
  // Per object: the most memory a measured scan held at once, committed and
  // allocated.
  std::vector<double> ScanBytes, ScanAllocated;
};

struct SizeRun {
  std::int64_t Base = 0, Added = 0, Aligned = 0;
  std::uint32_t Key = 0;
  std::size_t Known = 0, Slots = 0;  // the scene's set after the last scan
  Samples S;
};

struct Result {
  std::int64_t Base = 0, Added = 0, Aligned = 0;
  int Reps = 0;
  double Scan = 0, Bare = 0, InRead = 0, InEdit = 0, Own = 0, BareInRead = 0, Empty = 0;
  double Ratio = 0, RatioLessEdit = 0, OwnNsPerObject = 0, PassShare = 0, HostShare = 0;
  // The largest of the repetitions.
  double ScanBytesPerObject = 0, ScanAllocatedPerObject = 0;
  std::size_t Known = 0, Slots = 0;
};

// A fitted image has the length of 3 s and a zoom of its own; every other
// new object is as it was added.
bool FittedExactlyTheCandidates(hostsim::Host& host, const SizeRun& run) {
  const auto& objects = host.CurrentScene().Objects;
  if (objects.size() != static_cast<std::size_t>(run.Base + run.Added)) return false;
  for (std::int64_t j = 0; j < run.Added; ++j) {
    const hostsim::SimObject& object = *objects[static_cast<std::size_t>(run.Base + j)];
    bool fitted = object.Length() == 90 &&
                  object.Item(hostsim::kDrawEffect, hostsim::kZoomItem) != std::string("100.00");
    bool untouched = object.Length() == kLength;
    if (j % 10 == 0 ? !fitted : !untouched) return false;
  }
  return true;
}

// Back to the base objects, registry emptied and rebuilt by a baseline scan.
void Rebaseline(hostsim::Host& host, std::int64_t base) {
  host.CurrentScene().Objects.resize(static_cast<std::size_t>(base));
  velmora::state::ResetPending.store(1);
  Expect(velmora::RunScan(), "baseline scan succeeds");
  Expect(KnownCount(host.CurrentSceneKey()) == static_cast<std::size_t>(base),
         "baseline knows every base object");
}

// The bare walk must reach the host exactly as the scan's survey does.
void CheckSameCalls(hostsim::Host& host, std::int64_t base, std::int64_t added) {
  Rebaseline(host, base);
  AddNew(host, base, added);
  host.RecordCalls = true;
  host.ClearCalls();
  RunBareWalk();
  std::vector<std::string> bare = host.CallTexts();
  host.ClearCalls();
  velmora::RunScan();
  std::vector<std::string> scan = host.CallTexts();
  host.ClearCalls();
  host.RecordCalls = false;
  bool same = scan.size() > bare.size() && std::equal(bare.begin(), bare.end(), scan.begin()) &&
              scan[bare.size()] == "RunEdit()";
  Expect(same, "bare walk makes the survey's host calls");
  std::printf(
      "Host calls of the bare walk on %lld objects: %zu, the same sequence as the "
      "scan's up to its RunEdit: %s\n\n",
      static_cast<long long>(base + added), bare.size(), same ? "yes" : "NO");
}

void PrepareSize(hostsim::Host& host, SizeRun& run) {
  run.Added = run.Base / 20;
  run.Aligned = ExpectedAligned(run.Added);
  host.SwitchScene(run.Key);
  AddBase(host, run.Base);
  for (std::int64_t j = 0; j < run.Added; j += 10)
    host.SetMedia(NewImagePath(j), 0.0, 1280, 720);
}

void TimeBareWalk(SizeRun& run) {
  g_HostTime = HostTime{};
  std::int64_t start = Now();
  RunBareWalk();
  run.S.Bare.push_back(MsSince(start));
  run.S.BareInRead.push_back(g_HostTime.Read);
  Expect(g_Bare.Objects == static_cast<std::size_t>(run.Base + run.Added),
         "bare walk reaches every object");
  Expect(g_Bare.Images ==
             static_cast<std::size_t>(ExpectedImages(run.Base) + ExpectedImages(run.Added)),
         "bare walk sees every image");
}

void TimeScan(SizeRun& run) {
  g_HostTime = HostTime{};
  std::int64_t start = Now();
  bool done = velmora::RunScan();
  double total = MsSince(start);
  run.S.Scan.push_back(total);
  run.S.InRead.push_back(g_HostTime.Read);
  run.S.InEdit.push_back(g_HostTime.Edit);
  run.S.Own.push_back(total - g_HostTime.Query - g_HostTime.Read - g_HostTime.Edit);
  Expect(done, "measured scan succeeds");
}

// The scan aligned exactly the new images with new files, once, and made
// every other object known.
void CheckScanOutcome(hostsim::Host& host, SizeRun& run) {
  Expect(KnownCount(run.Key) == static_cast<std::size_t>(run.Base + run.Added),
         "every surveyed object is known after the scan");
  if (KnownCount(run.Key) != 0) {
    run.Known = velmora::state::KnownObjects.at(run.Key).size();
    run.Slots = velmora::state::KnownObjects.at(run.Key).bucket_count();
  }
  Expect(host.InfoLines().size() == 1, "the pass ran once and logged its count");
  Expect(FittedExactlyTheCandidates(host, run),
         "the pass fitted exactly the new images "
         "with new files");
  Expect(host.WarnLines().empty(), "no fit was refused");
  Expect(host.Violations().empty(), "no host rule broken");
}

// 5 % new objects, as the host would have them when it fires its event.
void AddNewObjects(hostsim::Host& host, const SizeRun& run) {
  AddNew(host, run.Base, run.Added);
  host.ClearLog();
  // The simulated host re-indexes a scene edited since its last callback in
  // the next one. That is the benchmark's edit, not the plug-in's, and it
  // would fall on whichever of the pair runs first: a third of a bare walk
  // at 100,000 objects.
  velmora::state::Edit->RunRead(&EmptyCallback);
}

// Back to the base objects and a fresh baseline, then the new objects.
void PrepareNewObjects(hostsim::Host& host, const SizeRun& run) {
  host.SwitchScene(run.Key);
  Rebaseline(host, run.Base);
  AddNewObjects(host, run);
}

// One repetition: a fresh baseline, 5 % new objects, then the bare walk and
// the scan back to back.
void MeasureOnce(hostsim::Host& host, SizeRun& run, int rep) {
  Samples& s = run.S;
  PrepareNewObjects(host, run);
  // Alternating which goes first evens out any warm-cache advantage.
  if (rep % 2 == 0) {
    TimeBareWalk(run);
    TimeScan(run);
  } else {
    TimeScan(run);
    TimeBareWalk(run);
  }
  s.Ratio.push_back(s.Scan.back() / s.Bare.back());
  s.RatioLessEdit.push_back((s.Scan.back() - s.InEdit.back()) / s.Bare.back());
  s.OwnLessBare.push_back(s.Scan.back() - s.Bare.back() - s.InEdit.back());
  s.PassShare.push_back(s.InEdit.back() / s.Bare.back());
  CheckScanOutcome(host, run);

  // What the host spends on a callback that looks up one object.
  g_HostTime = HostTime{};
  velmora::state::Edit->RunRead(&EmptyCallback);
  s.Empty.push_back(g_HostTime.Read);
}

// The memory a measured scan held at once, per object surveyed. Apart from
// the timed repetitions: every sample walks the address space.
void MeasureScanMemoryOnce(hostsim::Host& host, SizeRun& run) {
  PrepareNewObjects(host, run);
  const HeldMemory scan =
      PeakMemoryOf([] { Expect(velmora::RunScan(), "measured scan succeeds"); });
  CheckScanOutcome(host, run);
  const auto surveyed = static_cast<double>(run.Base + run.Added);
  run.S.ScanBytes.push_back(static_cast<double>(scan.Committed) / surveyed);
  run.S.ScanAllocated.push_back(static_cast<double>(scan.Allocated) / surveyed);
}

Result Summarize(const SizeRun& run) {
  Result r;
  r.Base = run.Base;
  r.Added = run.Added;
  r.Aligned = run.Aligned;
  r.Reps = static_cast<int>(run.S.Scan.size());
  r.Known = run.Known;
  r.Slots = run.Slots;
  r.Scan = Median(run.S.Scan);
  r.Bare = Median(run.S.Bare);
  r.InRead = Median(run.S.InRead);
  r.InEdit = Median(run.S.InEdit);
  r.Own = Median(run.S.Own);
  r.BareInRead = Median(run.S.BareInRead);
  r.Empty = Median(run.S.Empty);
  r.Ratio = Median(run.S.Ratio);
  r.RatioLessEdit = Median(run.S.RatioLessEdit);
  r.OwnNsPerObject = Median(run.S.OwnLessBare) * 1e6 / static_cast<double>(run.Base + run.Added);
  r.PassShare = Median(run.S.PassShare);
  r.HostShare = r.Empty / r.Bare;
  r.ScanBytesPerObject = *std::max_element(run.S.ScanBytes.begin(), run.S.ScanBytes.end());
  r.ScanAllocatedPerObject =
      *std::max_element(run.S.ScanAllocated.begin(), run.S.ScanAllocated.end());
  return r;
}

// ---- memory ----

std::size_t ReportedPrivateUsage() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PrivateUsage;
}

// A scene's set is one array of slots, one id each, taken or free.
double ComputedBytesPerId(std::size_t known, std::size_t slots) {
  return known == 0 ? 0.0
                    : static_cast<double>(slots) * sizeof(ObjectId) / static_cast<double>(known);
}

// The base scene reported under fresh scene keys: each baseline scan adds
// one whole set to the registry. Anything a set puts in heap space freed
// earlier in the run (emptied registries) shows in the first sets only, so
// the figure comes from the last ones. Returns it, in bytes per known id.
double MeasureMemory(hostsim::Host& host, std::int64_t base) {
  host.CurrentScene().Objects.resize(static_cast<std::size_t>(base));
  constexpr int kSets = 8;
  constexpr int kSteady = 4;  // the last sets, past the heap's free space
  std::vector<std::size_t> deltas;
  std::size_t slots = 0;
  for (int k = 0; k < kSets; ++k) {
    std::uint32_t key = kMemorySceneKey + static_cast<std::uint32_t>(k);
    host.CurrentScene().Key = key;
    std::size_t before = PrivateBytes();
    Expect(velmora::RunScan(), "memory baseline scan succeeds");
    std::size_t after = PrivateBytes();
    deltas.push_back(after > before ? after - before : 0);
    Expect(KnownCount(key) == static_cast<std::size_t>(base), "memory baseline knows the scene");
    slots = velmora::state::KnownObjects.at(key).bucket_count();
  }
  std::size_t steady = 0;
  for (int k = kSets - kSteady; k < kSets; ++k)
    steady += deltas[static_cast<std::size_t>(k)];
  double measured = static_cast<double>(steady) / (kSteady * static_cast<double>(base));

  std::printf(
      "Registry memory: the %lld-object scene reported under %d new scene keys, one "
      "baseline set each; committed private memory of the process (VirtualQuery) "
      "before and after each scan.\n\n",
      static_cast<long long>(base), kSets);
  std::printf("| set | bytes added | per id |\n|---|---|---|\n");
  for (int k = 0; k < kSets; ++k) {
    std::size_t d = deltas[static_cast<std::size_t>(k)];
    std::printf("| %d | %zu | %.1f |\n", k + 1, d,
                static_cast<double>(d) / static_cast<double>(base));
  }
  std::printf(
      "\nMeasured, mean of sets %d-%d: %.1f bytes per known id. Computed for one set: "
      "%zu slots x %zu bytes / %lld ids = %.1f bytes per known id. "
      "(GetProcessMemoryInfo's PrivateUsage reads %zu here.)\n",
      kSets - kSteady + 1, kSets, measured, slots, sizeof(ObjectId), static_cast<long long>(base),
      ComputedBytesPerId(static_cast<std::size_t>(base), slots), ReportedPrivateUsage());
  return measured;
}

// ---- host event to aligned image ----
// The host fires event kind 1 on a thread of its own while this one, which
// registered the plug-in and so owns its message window, waits in a message
// loop as a host's UI thread does. Timed from the call of the plug-in's
// handler to the pass's line reaching the host's logger.

constexpr int kEventReps = 21;
constexpr DWORD kEventTimeoutMs = 10000;

velmora::HostLogger g_HostLogger;  // the host's own entries
std::int64_t g_AlignedAt = 0;      // when the pass's line arrived; 0 before

void VELMORA_HOSTCALL TimedInfo(velmora::HostLogger* logger, const wchar_t* text) {
  // The pass's line: its message up to the count.
  const std::size_t fixedPart = std::wcscspn(velmora::kPendingPassMessage, L"%");
  if (g_AlignedAt == 0 && text != nullptr &&
      std::wcsncmp(text, velmora::kPendingPassMessage, fixedPart) == 0) {
    g_AlignedAt = Now();
  }
  g_HostLogger.Info(logger, text);
}

void WrapLogger(hostsim::Host& host) {
  velmora::HostLogger* logger = host.Logger();
  g_HostLogger = *logger;
  logger->Info = &TimedInfo;
}

// Dispatches this thread's messages, waiting for more in between, until the
// pass has logged its line. False when that took longer than the limit.
bool RunMessageLoopUntilAligned() {
  const DWORD begun = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (g_AlignedAt != 0) return true;
    const DWORD waited = GetTickCount() - begun;
    if (waited >= kEventTimeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kEventTimeoutMs - waited, QS_ALLINPUT);
  }
}

// A thread of the host's that fires event kind 1 each time it is woken. It
// outlives the measurements: a thread ending while the scan runs would slow
// it down (its exit takes the loader's lock and the server).
class EventThread {
 public:
  explicit EventThread(hostsim::Host& host)
      : host_(host),
        wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        thread_([this] { Run(); }) {}
  ~EventThread() {
    stop_.store(true);
    SetEvent(wake_);
    thread_.join();
    CloseHandle(wake_);
  }
  EventThread(const EventThread&) = delete;
  EventThread& operator=(const EventThread&) = delete;

  // Has the event fired; returns at once. FiredAt() tells when.
  void Fire() {
    firedAt_.store(0);
    SetEvent(wake_);
  }
  std::int64_t FiredAt() const { return firedAt_.load(); }

 private:
  void Run() {
    for (;;) {
      WaitForSingleObject(wake_, INFINITE);
      if (stop_.load()) return;
      firedAt_.store(Now());
      host_.FireEvent(1);
    }
  }

  hostsim::Host& host_;
  HANDLE wake_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> firedAt_{0};
  std::thread thread_;
};

struct EventSamples {
  std::vector<double> Total, ToScan, Scan;  // ms: event to line, to scan start, scan
};

void MeasureEventOnce(hostsim::Host& host, SizeRun& run, EventThread& events,
                      EventSamples& samples) {
  PrepareNewObjects(host, run);
  g_AlignedAt = 0;
  g_ScanStartAt = 0;
  events.Fire();
  const bool aligned = RunMessageLoopUntilAligned();
  const std::int64_t firedAt = events.FiredAt();
  Expect(aligned && g_ScanStartAt != 0, "the event led to a scan that aligned");
  if (aligned && g_ScanStartAt != 0) {
    samples.Total.push_back(MsBetween(firedAt, g_AlignedAt));
    samples.ToScan.push_back(MsBetween(firedAt, g_ScanStartAt));
    samples.Scan.push_back(MsBetween(g_ScanStartAt, g_AlignedAt));
  }
  CheckScanOutcome(host, run);
}

struct EventResult {
  std::int64_t Base = 0, Added = 0;
  int Reps = 0;
  double Total = 0, ToScan = 0, Scan = 0;
};

// At each size up to 10,000 objects.
std::vector<EventResult> MeasureEvents(hostsim::Host& host, std::vector<SizeRun>& runs) {
  std::vector<EventResult> results;
  EventThread events(host);
  for (SizeRun& run : runs) {
    if (run.Base > 10000) continue;
    EventSamples samples;
    for (int rep = 0; rep < kEventReps; ++rep)
      MeasureEventOnce(host, run, events, samples);
    if (samples.Total.empty()) continue;
    results.push_back(EventResult{run.Base, run.Added, static_cast<int>(samples.Total.size()),
                                  Median(samples.Total), Median(samples.ToScan),
                                  Median(samples.Scan)});
  }
  return results;
}

void PrintEvents(const std::vector<EventResult>& results) {
  std::printf(
      "\nHost event to aligned image, in ms, medians: event kind 1 fired on a host "
      "thread while the registering thread waits in MsgWaitForMultipleObjects and "
      "dispatches; to the pass's line at the host's logger. To scan start: to the scan's "
      "first host call (QueryTimelineInfo).\n\n| objects (base + new) | reps | event to "
      "aligned | to scan start | scan to line |\n|---|---|---|---|---|\n");
  for (const EventResult& r : results) {
    std::printf("| %lld + %lld | %d | %.2f | %.3f | %.2f |\n", static_cast<long long>(r.Base),
                static_cast<long long>(r.Added), r.Reps, r.Total, r.ToScan, r.Scan);
  }
  std::printf("\n");
}

// ---- the run ----

// Sizes may be given on the command line, e.g. "1000 10000" for a quick run.
std::vector<SizeRun> SizesFromCommandLine(int argc, char** argv) {
  std::vector<SizeRun> runs;
  for (int i = 1; i < argc; ++i) {
    runs.push_back(SizeRun{});
    runs.back().Base = std::max<long long>(100, std::atoll(argv[i]));
  }
  if (runs.empty()) {
    for (std::int64_t base : {1000, 10000, 100000}) {
      runs.push_back(SizeRun{});
      runs.back().Base = base;
    }
  }
  return runs;
}

std::vector<Result> MeasureSizes(hostsim::Host& host, std::vector<SizeRun>& runs) {
  std::uint32_t key = kFirstSceneKey;
  host.SwitchScene(key++);
  AddBase(host, runs.front().Base);
  CheckSameCalls(host, runs.front().Base, runs.front().Base / 20);
  host.CurrentScene().Objects.clear();

  // All sizes stay loaded and take turns, so that a busy spell of the
  // machine falls on every size alike instead of on one of them.
  for (SizeRun& run : runs) {
    run.Key = key++;
    PrepareSize(host, run);
  }
  // Small sizes take a few turns per round, for as many samples as their
  // short times need to rise above the noise of a shared machine.
  for (int round = 0; round < kRounds; ++round) {
    for (SizeRun& run : runs) {
      int turns = run.Base <= 1000 ? 4 : run.Base <= 10000 ? 2 : 1;
      for (int turn = 0; turn < turns; ++turn) {
        MeasureOnce(host, run, static_cast<int>(run.S.Scan.size()));
      }
    }
  }
  for (int rep = 0; rep < kMemoryReps; ++rep) {
    for (SizeRun& run : runs)
      MeasureScanMemoryOnce(host, run);
  }
  std::vector<Result> results;
  results.reserve(runs.size());
  for (const SizeRun& run : runs)
    results.push_back(Summarize(run));
  return results;
}

void PrintTimes(const std::vector<Result>& results) {
  std::printf(
      "Times in ms, medians over the repetitions. RunScan: the whole scan, pass "
      "included. Bare walk: QueryTimelineInfo + RunRead of the bare walk. Ratio: median "
      "of RunScan / bare walk, each pair measured back to back; less pass: the same "
      "with the time inside RunEdit taken off the scan. Survey, pass: time inside the "
      "scan's RunRead and RunEdit. Scan's own: the rest of RunScan (registry lookups, "
      "the table of new images' files, candidates). Host per callback: a RunRead whose "
      "callback looks up one object.\n\n");
  std::printf(
      "| objects (base + new) | reps | RunScan | bare walk | ratio | ratio less pass | "
      "survey | bare in RunRead | pass | scan's own | host per callback | aligned |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Result& r : results) {
    std::printf(
        "| %lld + %lld | %d | %.2f | %.2f | %.3f | %.3f | %.2f | %.2f | %.2f | %.2f | "
        "%.2f | %lld |\n",
        static_cast<long long>(r.Base), static_cast<long long>(r.Added), r.Reps, r.Scan, r.Bare,
        r.Ratio, r.RatioLessEdit, r.InRead, r.BareInRead, r.InEdit, r.Own, r.Empty,
        static_cast<long long>(r.Aligned));
  }
}

void PrintRegistry(const std::vector<Result>& results) {
  std::printf(
      "\nRegistry after the last measured scan of each size:\n\n| objects | known ids | slots "
      "| bytes per id, computed |\n|---|---|---|---|\n");
  for (const Result& r : results) {
    std::printf("| %lld | %zu | %zu | %.1f |\n", static_cast<long long>(r.Base + r.Added), r.Known,
                r.Slots, ComputedBytesPerId(r.Known, r.Slots));
  }
}

void PrintScanMemory(const std::vector<SizeRun>& runs) {
  std::printf(
      "\nMemory one scan holds at once, bytes per object surveyed, each repetition (after a "
      "fresh baseline, apart from the timed ones). Committed: the most committed private "
      "memory of the process (VirtualQuery) during the scan less what it held before; "
      "allocated: the same for the bytes of the blocks allocated.\n\n| objects (base + new) "
      "| committed | allocated |\n|---|---|---|\n");
  for (const SizeRun& run : runs) {
    std::printf("| %lld + %lld |", static_cast<long long>(run.Base),
                static_cast<long long>(run.Added));
    for (const std::vector<double>* figures : {&run.S.ScanBytes, &run.S.ScanAllocated}) {
      for (double figure : *figures)
        std::printf(" %.1f", figure);
      std::printf(" |");
    }
    std::printf("\n");
  }
}

void PrintRatios(const std::vector<Result>& results) {
  double worst = 0, worstLessPass = 0;
  for (const Result& r : results) {
    worst = std::max(worst, r.Ratio);
    worstLessPass = std::max(worstLessPass, r.RatioLessEdit);
  }
  std::printf(
      "\nLargest ratio: %.3f whole scan (target at most 1.30 at 1000 and 10000 objects), %.3f "
      "less the pass (target at most 1.15).\n",
      worst, worstLessPass);
  for (std::size_t i = 1; i < results.size(); ++i) {
    double size = static_cast<double>(results[i].Base) / static_cast<double>(results[i - 1].Base);
    std::printf("RunScan %lld / %lld objects: %.2f; bare walk: %.2f (%.0f times the objects).\n",
                static_cast<long long>(results[i].Base),
                static_cast<long long>(results[i - 1].Base), results[i].Scan / results[i - 1].Scan,
                results[i].Bare / results[i - 1].Bare, size);
  }
  for (const Result& r : results) {
    std::printf("Scan less bare walk less pass at %lld + %lld objects: %.0f ns per object.\n",
                static_cast<long long>(r.Base), static_cast<long long>(r.Added), r.OwnNsPerObject);
  }
  std::printf("\n");
}

// One line per figure, for scripts: at each size the ratio, the ratio less
// the pass and the memory one scan holds; at the largest the scan's own cost
// per object and the pass's and a host callback's share beside the ratio; the
// growth from the size before, the registry's memory, the event timings.
void PrintResults(const std::vector<Result>& results, double bytesPerId,
                  const std::vector<EventResult>& events) {
  std::printf("\n");
  for (const Result& r : results)
    std::printf("result ratio %lld %.2f\n", static_cast<long long>(r.Base), r.Ratio);
  for (const Result& r : results)
    std::printf("result ratio-less-pass %lld %.2f\n", static_cast<long long>(r.Base),
                r.RatioLessEdit);
  for (const Result& r : results) {
    std::printf("result scan-bytes-per-object %lld %.1f\n", static_cast<long long>(r.Base),
                r.ScanBytesPerObject);
  }
  for (const Result& r : results) {
    std::printf("result scan-allocated-bytes-per-object %lld %.1f\n",
                static_cast<long long>(r.Base), r.ScanAllocatedPerObject);
  }
  const Result& largest = results.back();
  const auto largestBase = static_cast<long long>(largest.Base);
  std::printf("result own-ns-per-object %lld %.0f\n", largestBase, largest.OwnNsPerObject);
  std::printf("result pass-share %lld %.2f\n", largestBase, largest.PassShare);
  std::printf("result host-per-callback-share %lld %.2f\n", largestBase, largest.HostShare);
  if (results.size() > 1) {
    const Result& before = results[results.size() - 2];
    std::printf("result growth %lld-%lld %.1f\n", static_cast<long long>(before.Base),
                static_cast<long long>(largest.Base), largest.Scan / before.Scan);
  }
  std::printf("result bytes-per-id %.1f\n", bytesPerId);
  for (const EventResult& e : events)
    std::printf("result event-to-aligned-ms %lld %.1f\n", static_cast<long long>(e.Base), e.Total);
}

}  // namespace

// The program's own allocation functions, for the memory watch above; the
// array and sized forms of the library call these.
void* operator new(std::size_t size) { return AllocateCounted(size); }
void operator delete(void* block) noexcept { FreeCounted(block); }
void operator delete(void* block, std::size_t) noexcept { FreeCounted(block); }

int main(int argc, char** argv) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_TicksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

  velmora::state::ModuleInstance = GetModuleHandleW(nullptr);
  hostsim::Host host;
  host.RecordCalls = false;
  velmora::state::Logger = host.Logger();
  velmora::state::Settings = velmora::kDefaultSettings;  // Auto on, 3 s, fit inside, centred
  velmora::Register(host.Table());
  WrapEditHandle();
  WrapLogger(host);

  std::printf(
      "Velmora scan benchmark: %d layers, 5%% new objects before each measured scan "
      "(1 in 10 of them aligned by the pass), Auto on.\n\n",
      kLayers);

  std::vector<SizeRun> runs = SizesFromCommandLine(argc, argv);
  const std::vector<Result> results = MeasureSizes(host, runs);
  PrintTimes(results);
  PrintRegistry(results);
  PrintScanMemory(runs);
  PrintRatios(results);

  const std::vector<EventResult> events = MeasureEvents(host, runs);
  PrintEvents(events);

  host.SwitchScene(runs.back().Key);
  const double bytesPerId = MeasureMemory(host, runs.back().Base);
  PrintResults(results, bytesPerId, events);

  velmora::Uninitialize();
  if (g_Failed) {
    std::printf("Some checks failed: the figures above are not valid.\n");
    return 1;
  }
  return 0;
}
