// Cabinets made with libgcab, entirely in memory.
#include "zxCabWriter.h"

#include "zxClasses.h"

#include <libgcab.h>

#include <memory>

namespace {

// Owners of the GLib objects and blocks used here.
struct TUnref {
  void operator()(gpointer p) const { g_object_unref(p); }
};
template <typename T> using TGObject = std::unique_ptr<T, TUnref>;
struct TErrorFree {
  void operator()(GError *e) const { g_error_free(e); }
};
struct TBytesUnref {
  void operator()(GBytes *b) const { g_bytes_unref(b); }
};
struct TDateUnref {
  void operator()(GDateTime *d) const { g_date_time_unref(d); }
};

[[noreturn]] void Fail(const std::string &what, GError *error) {
  std::unique_ptr<GError, TErrorFree> owner(error);
  throw EzxError(Format("Cannot make cabinet: %s%s%s", what.c_str(), error != nullptr ? ": " : "",
                        error != nullptr ? error->message : ""));
}

} // namespace

std::vector<uint8_t> PackCabinet(const std::vector<TzxCabMember> &members, bool compress) {
  TGObject<GCabCabinet> cabinet(gcab_cabinet_new());
  TGObject<GCabFolder> folder(
      gcab_folder_new(compress ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
  for (const TzxCabMember &m : members) {
    std::unique_ptr<GBytes, TBytesUnref> bytes(g_bytes_new(m.Data.data(), m.Data.size()));
    TGObject<GCabFile> file(gcab_file_new_with_bytes(m.Name.c_str(), bytes.get()));
    // The FAT date and time, taken as they stand.
    std::unique_ptr<GDateTime, TDateUnref> when(
        g_date_time_new_utc(1980 + (m.Date >> 9), (m.Date >> 5) & 0x0F, m.Date & 0x1F, m.Time >> 11,
                            (m.Time >> 5) & 0x3F, (m.Time & 0x1F) * 2));
    if (when == nullptr)
      throw EzxError(Format("Cannot make cabinet: %s has an invalid date", m.Name.c_str()));
    gcab_file_set_date_time(file.get(), when.get());
    gcab_file_set_attributes(file.get(), m.Attributes);
    GError *error = nullptr;
    if (!gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &error))
      Fail(m.Name, error);
  }
  GError *error = nullptr;
  if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &error)) Fail("folder", error);
  TGObject<GOutputStream> out(g_memory_output_stream_new_resizable());
  if (!gcab_cabinet_write_simple(cabinet.get(), out.get(), nullptr, nullptr, nullptr, &error))
    Fail("write", error);
  if (!g_output_stream_close(out.get(), nullptr, &error)) Fail("close", error);
  auto *memory = G_MEMORY_OUTPUT_STREAM(out.get());
  const auto *data = static_cast<const uint8_t *>(g_memory_output_stream_get_data(memory));
  return std::vector<uint8_t>(data, data + g_memory_output_stream_get_data_size(memory));
}
