// dds/dds.h must come first: it pulls in dds/features.h, whose DDS_HAS_SHM (set in Debian's
// build) adds fields to ddsi_sertype / ddsi_serdata and two serdata ops. Seeing the ddsi
// headers without it would silently give us a different struct layout than libddsc's.
#include "dds/dds.h"
#include "dds/ddsi/ddsi_sertype.h"
#include "dds/ddsi/ddsi_serdata.h"
#include "dds/ddsi/q_radmin.h"

#include "sertype.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "rcutils/logging_macros.h"

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace
{

struct Sertype
{
  ddsi_sertype base;  // first: Cyclone hands us &base
  const MessageMembers * members;
  bool is_service;
  std::atomic<int64_t> last_warning_ns;
};

struct Serdata
{
  ddsi_serdata base;  // first: Cyclone hands us &base
  std::vector<uint8_t> bytes;  // the sample as on the wire, header included, padded to 4
  size_t size;  // the meaningful bytes; bytes.size() is this rounded up to 4
};

const Sertype * sertype_of(const ddsi_sertype * type)
{
  return reinterpret_cast<const Sertype *>(type);
}

Sertype * sertype_of(ddsi_sertype * type)
{
  return reinterpret_cast<Sertype *>(type);
}

/// The message a sample carries and, on a service topic, its request identity.
void unwrap(const Sertype * st, const void * sample, const void *& message, const RequestId *& id)
{
  message = sample;
  id = nullptr;
  if (st->is_service) {
    const auto * s = static_cast<const ServiceSample *>(sample);
    message = s->message;
    id = &s->id;
  }
}

const Serdata * serdata_of(const ddsi_serdata * d)
{
  return reinterpret_cast<const Serdata *>(d);
}

Serdata * serdata_of(ddsi_serdata * d)
{
  return reinterpret_cast<Serdata *>(d);
}

const uint8_t kEmptyPayload[4] = {0x00, 0x01, 0x00, 0x00};

// Creates a serdata of `size` meaningful bytes, zero-filled up to the next multiple of 4 so
// that to_ser may hand out the alignment padding Cyclone is allowed to ask for.
Serdata * new_serdata(const ddsi_sertype * type, ddsi_serdata_kind kind, size_t size)
{
  auto * d = new (std::nothrow) Serdata();
  if (d == nullptr) {
    return nullptr;
  }
  try {
    d->bytes.assign((size + 3) & ~static_cast<size_t>(3), 0);
  } catch (...) {
    delete d;
    return nullptr;
  }
  d->size = size;
  ddsi_serdata_init(&d->base, type, kind);
  return d;
}

void warn_malformed(const ddsi_sertype * type, size_t size)
{
  // Whoever sends garbage can send a lot of it; one line a second is enough to notice.
  auto * st = const_cast<Sertype *>(sertype_of(type));
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::steady_clock::now().time_since_epoch()).count();
  int64_t last = st->last_warning_ns.load(std::memory_order_relaxed);
  if (now - last < 1000000000LL ||
    !st->last_warning_ns.compare_exchange_strong(last, now, std::memory_order_relaxed))
  {
    return;
  }
  RCUTILS_LOG_WARN_NAMED(
    "rclcpp", "dropped a malformed sample of type '%s' (%zu bytes) received over DDS",
    type->type_name, size);
}

// Received data is kept only if it decodes; a reader never sees a malformed sample.
ddsi_serdata * accept_received(Serdata * d, ddsi_serdata_kind kind)
{
  if (kind != SDK_DATA) {
    return &d->base;  // keyless: a dispose or unregister carries nothing to check
  }
  const Sertype * st = sertype_of(d->base.type);
  if (!validate(st->members, d->bytes.data(), d->size, st->is_service)) {
    warn_malformed(d->base.type, d->size);
    delete d;
    return nullptr;
  }
  return &d->base;
}

// --- serdata ops ---------------------------------------------------------------------------

bool sd_eqkey(const ddsi_serdata *, const ddsi_serdata *)
{
  return true;  // keyless: every sample belongs to the one instance
}

uint32_t sd_get_size(const ddsi_serdata * d)
{
  return static_cast<uint32_t>(serdata_of(d)->size);
}

ddsi_serdata * sd_from_ser(
  const ddsi_sertype * type, ddsi_serdata_kind kind, const nn_rdata * fragchain, size_t size)
{
  Serdata * d = new_serdata(type, kind, size);
  if (d == nullptr) {
    return nullptr;
  }
  // Fragments arrive in order and may overlap; copy each one's part beyond what we have.
  size_t have = 0;
  for (const nn_rdata * frag = fragchain; frag != nullptr && have < size; frag = frag->nextfrag) {
    if (frag->maxp1 <= have || frag->min > have) {
      continue;
    }
    const unsigned char * payload =
      NN_RMSG_PAYLOADOFF(frag->rmsg, NN_RDATA_PAYLOAD_OFF(frag));
    const size_t end = frag->maxp1 < size ? frag->maxp1 : size;
    std::memcpy(d->bytes.data() + have, payload + (have - frag->min), end - have);
    have = end;
  }
  if (have < size) {
    delete d;
    return nullptr;
  }
  return accept_received(d, kind);
}

ddsi_serdata * sd_from_ser_iov(
  const ddsi_sertype * type, ddsi_serdata_kind kind, ddsrt_msg_iovlen_t niov,
  const ddsrt_iovec_t * iov, size_t size)
{
  Serdata * d = new_serdata(type, kind, size);
  if (d == nullptr) {
    return nullptr;
  }
  size_t have = 0;
  for (ddsrt_msg_iovlen_t i = 0; i < niov && have < size; ++i) {
    const size_t n = iov[i].iov_len < size - have ? iov[i].iov_len : size - have;
    std::memcpy(d->bytes.data() + have, iov[i].iov_base, n);
    have += n;
  }
  if (have < size) {
    delete d;
    return nullptr;
  }
  return accept_received(d, kind);
}

ddsi_serdata * sd_from_keyhash(const ddsi_sertype * type, const ddsi_keyhash *)
{
  Serdata * d = new_serdata(type, SDK_KEY, sizeof(kEmptyPayload));
  if (d != nullptr) {
    std::memcpy(d->bytes.data(), kEmptyPayload, sizeof(kEmptyPayload));
  }
  return d != nullptr ? &d->base : nullptr;
}

ddsi_serdata * sd_from_sample(
  const ddsi_sertype * type, ddsi_serdata_kind kind, const void * sample)
{
  if (kind != SDK_DATA) {
    return sd_from_keyhash(type, nullptr);
  }
  const Sertype * st = sertype_of(type);
  const void * message = nullptr;
  const RequestId * id = nullptr;
  unwrap(st, sample, message, id);
  try {
    const size_t size = serialized_size(st->members, message, st->is_service);
    Serdata * d = new_serdata(type, kind, size);
    if (d == nullptr) {
      return nullptr;
    }
    serialize(st->members, message, id, d->bytes.data(), size);
    return &d->base;
  } catch (...) {
    return nullptr;  // Cyclone reports the failed write; nothing may unwind into C
  }
}

void sd_to_ser(const ddsi_serdata * d, size_t off, size_t sz, void * buf)
{
  const Serdata * s = serdata_of(d);
  if (off <= s->bytes.size() && sz <= s->bytes.size() - off) {
    std::memcpy(buf, s->bytes.data() + off, sz);
  }
}

ddsi_serdata * sd_to_ser_ref(const ddsi_serdata * d, size_t off, size_t sz, ddsrt_iovec_t * ref)
{
  // As in sd_to_ser: never a reference beyond the bytes held; a range that does not fit is
  // cut to what there is.
  const Serdata * s = serdata_of(d);
  const size_t held = s->bytes.size();
  off = off < held ? off : held;
  sz = sz < held - off ? sz : held - off;
  ref->iov_base = const_cast<uint8_t *>(s->bytes.data()) + off;
  ref->iov_len = static_cast<ddsrt_iov_len_t>(sz);
  return ddsi_serdata_ref(d);
}

void sd_to_ser_unref(ddsi_serdata * d, const ddsrt_iovec_t *)
{
  ddsi_serdata_unref(d);
}

bool sd_to_sample(const ddsi_serdata * d, void * sample, void ** bufptr, void *)
{
  if (bufptr != nullptr || sample == nullptr) {
    return false;  // samples are always the caller's own messages, never Cyclone's memory
  }
  const Serdata * s = serdata_of(d);
  const Sertype * st = sertype_of(d->type);
  try {
    if (st->is_service) {
      auto * ss = static_cast<ServiceSample *>(sample);
      return deserialize(st->members, s->bytes.data(), s->size, ss->message, &ss->id);
    }
    return deserialize(st->members, s->bytes.data(), s->size, sample, nullptr);
  } catch (...) {
    return false;
  }
}

ddsi_serdata * sd_to_untyped(const ddsi_serdata * d)
{
  // Keyless: the "key" is empty, so the untyped form is just a header.
  ddsi_serdata * u = sd_from_keyhash(d->type, nullptr);
  if (u != nullptr) {
    u->type = nullptr;
  }
  return u;
}

bool sd_untyped_to_sample(
  const ddsi_sertype *, const ddsi_serdata *, void *, void **, void *)
{
  return true;  // no key fields to fill in
}

void sd_free(ddsi_serdata * d)
{
  delete serdata_of(d);
}

size_t sd_print(const ddsi_sertype * type, const ddsi_serdata * d, char * buf, size_t size)
{
  const int n = std::snprintf(
    buf, size, "%s: %zu bytes", type != nullptr ? type->type_name : "(untyped)",
    serdata_of(d)->size);
  return n < 0 ? 0 : static_cast<size_t>(n);
}

void sd_get_keyhash(const ddsi_serdata *, ddsi_keyhash * buf, bool)
{
  std::memset(buf->value, 0, sizeof(buf->value));
}

#ifdef DDS_HAS_SHM
uint32_t sd_get_sample_size(const ddsi_serdata *)
{
  return 0;  // shared memory stays off for these topics
}

ddsi_serdata * sd_from_iox_buffer(const ddsi_sertype *, ddsi_serdata_kind, void *, void *)
{
  return nullptr;
}
#endif

const ddsi_serdata_ops serdata_ops = {
  sd_eqkey,
  sd_get_size,
  sd_from_ser,
  sd_from_ser_iov,
  sd_from_keyhash,
  sd_from_sample,
  sd_to_ser,
  sd_to_ser_ref,
  sd_to_ser_unref,
  sd_to_sample,
  sd_to_untyped,
  sd_untyped_to_sample,
  sd_free,
  sd_print,
  sd_get_keyhash,
#ifdef DDS_HAS_SHM
  sd_get_sample_size,
  sd_from_iox_buffer,
#endif
};

// --- sertype ops ---------------------------------------------------------------------------

void st_free(ddsi_sertype * type)
{
  ddsi_sertype_fini(type);
  delete sertype_of(type);
}

// Samples are always messages the caller owns, so Cyclone never allocates or frees them.
void st_zero_samples(const ddsi_sertype *, void *, size_t) {}
void st_realloc_samples(void **, const ddsi_sertype *, void *, size_t, size_t) {}
void st_free_samples(const ddsi_sertype *, void **, size_t, dds_free_op_t) {}

bool st_equal(const ddsi_sertype * a, const ddsi_sertype * b)
{
  return sertype_of(a)->members == sertype_of(b)->members &&
         sertype_of(a)->is_service == sertype_of(b)->is_service;
}

uint32_t st_hash(const ddsi_sertype * type)
{
  const size_t h = std::hash<const void *>()(sertype_of(type)->members) ^
    (sertype_of(type)->is_service ? 0x9e3779b9u : 0u);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

size_t st_get_serialized_size(const ddsi_sertype * type, const void * sample)
{
  const Sertype * st = sertype_of(type);
  const void * message =
    st->is_service ? static_cast<const ServiceSample *>(sample)->message : sample;
  try {
    return serialized_size(st->members, message, st->is_service);
  } catch (...) {
    return SIZE_MAX;
  }
}

bool st_serialize_into(const ddsi_sertype * type, const void * sample, void * dst, size_t size)
{
  const Sertype * st = sertype_of(type);
  const void * message = nullptr;
  const RequestId * id = nullptr;
  unwrap(st, sample, message, id);
  try {
    serialize(st->members, message, id, static_cast<uint8_t *>(dst), size);
    return true;
  } catch (...) {
    return false;
  }
}

const ddsi_sertype_ops sertype_ops = {
  ddsi_sertype_v0,
  nullptr,  // arg
  st_free,
  st_zero_samples,
  st_realloc_samples,
  st_free_samples,
  st_equal,
  st_hash,
  nullptr,  // type_id: no type information, matching is on the type name as with rmw
  nullptr,  // type_map
  nullptr,  // type_info
  nullptr,  // derive_sertype
  st_get_serialized_size,
  st_serialize_into,
};

}  // namespace

dds_entity_t create_topic(
  dds_entity_t participant, const std::string & topic_name, const MessageMembers * members,
  bool is_service)
{
  if (members == nullptr) {
    return DDS_RETCODE_BAD_PARAMETER;
  }
  auto * st = new (std::nothrow) Sertype();
  if (st == nullptr) {
    return DDS_RETCODE_OUT_OF_RESOURCES;
  }
  st->members = members;
  st->is_service = is_service;
  st->last_warning_ns.store(INT64_MIN / 2);
  const std::string type_name = dds_type_name(members);
  ddsi_sertype_init_flags(
    &st->base, type_name.c_str(), &sertype_ops, &serdata_ops,
    DDSI_SERTYPE_FLAG_TOPICKIND_NO_KEY);
  // rmw_cyclonedds offers XCDR1 only; a peer must never be told it may send XCDR2.
  st->base.allowed_data_representation = DDS_DATA_REPRESENTATION_FLAG_XCDR1;

  ddsi_sertype * actual = &st->base;
  const dds_entity_t topic =
    dds_create_topic_sertype(participant, topic_name.c_str(), &actual, nullptr, nullptr, nullptr);
  if (topic < 0) {
    ddsi_sertype_unref(actual);
  }
  return topic;
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
