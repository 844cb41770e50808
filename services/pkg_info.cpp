#include "services/pkg_info.h"

#include <memory>
#include <utility>

#include "services/pkg_record_source.h"

namespace pelmar {

CPkgInfo::CPkgInfo(std::unique_ptr<IRecordSource<PkgRecord>> source)
    : CRecordHolder(std::move(source), [](PkgRecord* record) { SortUrlsByRank(&record->urls); }) {}

CPkgInfo::CPkgInfo(PkgInfoSettings settings)
    : CPkgInfo(std::make_unique<PkgRecordSource>(std::move(settings))) {}

int64_t CPkgInfo::Size() {
  return Read([](const PkgRecord& r) { return r.size; });
}

int64_t CPkgInfo::OriginSize() {
  return Read([](const PkgRecord& r) { return r.originSize; });
}

std::string CPkgInfo::Version() {
  return Read([](const PkgRecord& r) { return r.version; });
}

size_t CPkgInfo::UrlCount() {
  return Read([](const PkgRecord& r) { return r.urls.size(); });
}

std::string CPkgInfo::UrlAt(size_t index) {
  return Read([index](const PkgRecord& r) {
    return index < r.urls.size() ? r.urls[index].url : std::string();
  });
}

std::string CPkgInfo::Md5() {
  return Read([](const PkgRecord& r) { return r.md5; });
}

std::string CPkgInfo::ReleaseStatement() {
  return Read([](const PkgRecord& r) { return r.releaseStatement; });
}

std::string CPkgInfo::ReleaseSignature() {
  return Read([](const PkgRecord& r) { return r.releaseSignature; });
}

void CPkgInfo::Reset() {
  Update([](PkgRecord* r) {
    r->packageName.clear();
    r->version.clear();
    r->md5.clear();
    r->releaseStatement.clear();
    r->releaseSignature.clear();
    r->size = 0;
    r->originSize = 0;
    r->urls.clear();
  });
}

IPkgInfo* StartPkgInfo(IRequestSealer* sealer) {
  return ProcessRecord<CPkgInfo>::Make(
      [sealer] { return new CPkgInfo(DefaultPkgInfoSettings(sealer)); });
}

IPkgInfo* GetPkgInfo() { return ProcessRecord<CPkgInfo>::Made(); }

bool StopPkgInfoReader(int milliseconds) {
  return ProcessRecord<CPkgInfo>::StopReaderWithin(milliseconds);
}

}  // namespace pelmar
