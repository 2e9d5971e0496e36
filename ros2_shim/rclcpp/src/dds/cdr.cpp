#include "cdr.hpp"

#include <cfloat>
#include <cstring>
#include <string>

#include "rosidl_typesupport_introspection_cpp/field_types.hpp"
#include "rosidl_typesupport_introspection_cpp/identifier.hpp"

static_assert(
  __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
  "the codec copies little-endian wire data straight into memory");
static_assert(sizeof(long double) == 16, "long double travels as 16 bytes");

namespace rclcpp
{
namespace shim
{
namespace dds
{

namespace ti = rosidl_typesupport_introspection_cpp;
using ti::MessageMember;

namespace
{

constexpr size_t kHeaderSize = 4;
constexpr size_t kRequestIdSize = 16;

// Wire size of a primitive, which is also its size in the C++ message; 0 for the rest.
size_t primitive_size(uint8_t type_id)
{
  switch (type_id) {
    case ti::ROS_TYPE_BOOLEAN:
    case ti::ROS_TYPE_OCTET:
    case ti::ROS_TYPE_UINT8:
    case ti::ROS_TYPE_INT8:
    case ti::ROS_TYPE_CHAR:
      return 1;
    case ti::ROS_TYPE_WCHAR:  // char16_t, as rmw_cyclonedds writes it
    case ti::ROS_TYPE_UINT16:
    case ti::ROS_TYPE_INT16:
      return 2;
    case ti::ROS_TYPE_FLOAT:
    case ti::ROS_TYPE_UINT32:
    case ti::ROS_TYPE_INT32:
      return 4;
    case ti::ROS_TYPE_DOUBLE:
    case ti::ROS_TYPE_UINT64:
    case ti::ROS_TYPE_INT64:
      return 8;
    case ti::ROS_TYPE_LONG_DOUBLE:
      // No .msg type maps to long double and rmw_cyclonedds has no encoding for it; the
      // in-memory 16 bytes, 8-aligned, is at least symmetric between two host peers.
      return 16;
    default:
      return 0;
  }
}

// Bytes of a long double that carry its value; x87's 80-bit format leaves 6 bytes of padding
// that must not go out on the wire as whatever memory held before.
#if LDBL_MANT_DIG == 64
constexpr size_t kLongDoubleValueBytes = 10;
#else
constexpr size_t kLongDoubleValueBytes = 16;
#endif

size_t primitive_alignment(size_t size)
{
  return size > 8 ? 8 : size;
}

bool is_fixed_array(const MessageMember & m)
{
  return m.is_array_ && !m.is_upper_bound_ && m.array_size_ > 0;
}

// A sequence of bool is std::vector<bool>: no element addresses, only fetch/assign.
bool is_bool_vector(const MessageMember & m)
{
  return m.is_array_ && !is_fixed_array(m) && m.type_id_ == ti::ROS_TYPE_BOOLEAN;
}

const MessageMembers * nested(const MessageMember & m)
{
  return members_of(m.members_);
}

size_t align_up(size_t pos, size_t alignment)
{
  return (pos + alignment - 1) & ~(alignment - 1);
}

// Fewest wire bytes a value of the type can take; bounds element counts before a resize.
size_t min_wire_size(const MessageMembers * mm)
{
  size_t total = 0;
  for (uint32_t i = 0; i < mm->member_count_; ++i) {
    const MessageMember & m = mm->members_[i];
    size_t element = 0;
    if (m.type_id_ == ti::ROS_TYPE_STRING || m.type_id_ == ti::ROS_TYPE_WSTRING) {
      element = 4;
    } else if (m.type_id_ == ti::ROS_TYPE_MESSAGE) {
      element = min_wire_size(nested(m));
    } else {
      element = primitive_size(m.type_id_);
    }
    if (!m.is_array_) {
      total += element;
    } else if (is_fixed_array(m)) {
      total += element * m.array_size_;
    } else {
      total += 4;
    }
  }
  return total == 0 ? 1 : total;
}

void byte_swap(uint8_t * bytes, size_t size)
{
  for (size_t i = 0; i < size / 2; ++i) {
    const uint8_t t = bytes[i];
    bytes[i] = bytes[size - 1 - i];
    bytes[size - 1 - i] = t;
  }
}

// ---------------------------------------------------------------------------------------
// Encoding. One walker both measures (no buffer) and writes, so the two cannot disagree.

class Writer
{
public:
  Writer(uint8_t * body, size_t capacity)
  : body_(body), capacity_(capacity) {}

  void align(size_t alignment)
  {
    const size_t next = align_up(pos_, alignment);
    if (body_ != nullptr && next <= capacity_) {
      std::memset(body_ + pos_, 0, next - pos_);
    }
    pos_ = next;
  }

  void put(const void * src, size_t size)
  {
    // A message that grew between measuring and writing must not overrun the buffer.
    if (body_ != nullptr && size <= capacity_ && pos_ <= capacity_ - size) {
      std::memcpy(body_ + pos_, src, size);
    }
    pos_ += size;
  }

  // Only while measuring: room for bytes that will be written later.
  void skip(size_t size) {pos_ += size;}

  void put_u32(uint32_t value)
  {
    align(4);
    put(&value, 4);
  }

  void put_primitive(const void * src, size_t size)
  {
    align(primitive_alignment(size));
    put(src, size);
  }

  void put_long_double(const void * src)
  {
    uint8_t bytes[16] = {};
    std::memcpy(bytes, src, kLongDoubleValueBytes);
    put_primitive(bytes, 16);
  }

  void put_string(const std::string & s)
  {
    put_u32(static_cast<uint32_t>(s.size() + 1));
    put(s.data(), s.size());
    const char nul = 0;
    put(&nul, 1);
  }

  void put_wstring(const std::u16string & s)
  {
    // rmw_cyclonedds' XCDR1 rule: a character count, then each character widened to 4 bytes.
    put_u32(static_cast<uint32_t>(s.size()));
    for (char16_t c : s) {
      const uint32_t wide = c;
      put(&wide, 4);
    }
  }

  bool measuring() const {return body_ == nullptr;}
  size_t pos() const {return pos_;}

private:
  uint8_t * body_;
  size_t capacity_;
  size_t pos_{0};
};

void encode_message(Writer & w, const MessageMembers * mm, const void * message);

void encode_single(Writer & w, const MessageMember & m, const void * field)
{
  switch (m.type_id_) {
    case ti::ROS_TYPE_STRING:
      w.put_string(*static_cast<const std::string *>(field));
      return;
    case ti::ROS_TYPE_WSTRING:
      w.put_wstring(*static_cast<const std::u16string *>(field));
      return;
    case ti::ROS_TYPE_MESSAGE:
      encode_message(w, nested(m), field);
      return;
    case ti::ROS_TYPE_LONG_DOUBLE:
      w.put_long_double(field);
      return;
    default:
      w.put_primitive(field, primitive_size(m.type_id_));
      return;
  }
}

void encode_array(Writer & w, const MessageMember & m, const void * field)
{
  const size_t count = m.size_function(field);
  if (!is_fixed_array(m)) {
    w.put_u32(static_cast<uint32_t>(count));
  }
  if (count == 0) {
    return;  // no alignment either: rmw pads only in front of an element it writes
  }
  const size_t size = primitive_size(m.type_id_);
  if (is_bool_vector(m)) {
    for (size_t i = 0; i < count; ++i) {
      bool value = false;
      m.fetch_function(field, i, &value);
      const uint8_t byte = value ? 1 : 0;
      w.put(&byte, 1);
    }
  } else if (size != 0 && m.type_id_ != ti::ROS_TYPE_LONG_DOUBLE) {
    w.align(primitive_alignment(size));
    if (w.measuring()) {
      w.skip(count * size);
    } else {
      w.put(m.get_const_function(field, 0), count * size);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      encode_single(w, m, m.get_const_function(field, i));
    }
  }
}

void encode_message(Writer & w, const MessageMembers * mm, const void * message)
{
  const auto * base = static_cast<const uint8_t *>(message);
  for (uint32_t i = 0; i < mm->member_count_; ++i) {
    const MessageMember & m = mm->members_[i];
    const void * field = base + m.offset_;
    if (m.is_array_) {
      encode_array(w, m, field);
    } else {
      encode_single(w, m, field);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Decoding. One walker both validates (Store = false: no message, no allocation) and
// decodes, so validate() and deserialize() accept exactly the same samples.

template<bool Store>
class Decoder
{
public:
  Decoder(const uint8_t * body, size_t size, bool swap)
  : body_(body), size_(size), swap_(swap) {}

  bool message(const MessageMembers * mm, void * message)
  {
    auto * base = static_cast<uint8_t *>(message);
    for (uint32_t i = 0; i < mm->member_count_; ++i) {
      const MessageMember & m = mm->members_[i];
      void * field = Store ? base + m.offset_ : nullptr;
      if (!(m.is_array_ ? array(m, field) : single(m, field))) {
        return false;
      }
    }
    return true;
  }

  bool request_id(RequestId * id)
  {
    uint64_t client = 0;
    int64_t sequence = 0;
    if (!primitive(&client, 8) || !primitive(&sequence, 8)) {
      return false;
    }
    if (id != nullptr) {
      id->client_id = client;
      id->sequence = sequence;
    }
    return true;
  }

private:
  size_t remaining() const {return size_ - pos_;}

  bool align(size_t alignment)
  {
    const size_t next = align_up(pos_, alignment);
    if (next > size_) {
      return false;
    }
    pos_ = next;
    return true;
  }

  // Reads one primitive into dst (which may be null when only validating).
  bool primitive(void * dst, size_t size)
  {
    if (!align(primitive_alignment(size)) || remaining() < size) {
      return false;
    }
    if (dst != nullptr) {
      std::memcpy(dst, body_ + pos_, size);
      if (swap_) {
        byte_swap(static_cast<uint8_t *>(dst), size);
      }
    }
    pos_ += size;
    return true;
  }

  bool u32(uint32_t & value)
  {
    return primitive(&value, 4);
  }

  bool boolean(bool * dst)
  {
    if (remaining() < 1) {
      return false;
    }
    // Any non-zero byte is true, as the C and C++ decoders of rmw read it; storing the raw
    // byte into a bool would be undefined behaviour.
    if (dst != nullptr) {
      *dst = body_[pos_] != 0;
    }
    ++pos_;
    return true;
  }

  bool string(std::string * dst, size_t bound)
  {
    uint32_t length = 0;
    if (!u32(length)) {
      return false;
    }
    if (length == 0) {
      // Not what a conforming writer sends, but rmw reads it as the empty string.
      if (dst != nullptr) {
        dst->clear();
      }
      return true;
    }
    if (length > remaining() || body_[pos_ + length - 1] != 0) {
      return false;
    }
    if (bound != 0 && length - 1 > bound) {
      return false;
    }
    if (dst != nullptr) {
      dst->assign(reinterpret_cast<const char *>(body_ + pos_), length - 1);
    }
    pos_ += length;
    return true;
  }

  bool wstring(std::u16string * dst, size_t bound)
  {
    uint32_t count = 0;
    if (!u32(count) || count > remaining() / 4) {
      return false;
    }
    if (bound != 0 && count > bound) {
      return false;
    }
    if (dst != nullptr) {
      dst->resize(count);
    }
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t wide = 0;
      if (!primitive(&wide, 4) || wide > 0xFFFFu) {
        return false;  // not representable in the message's UTF-16 code units
      }
      if (dst != nullptr) {
        (*dst)[i] = static_cast<char16_t>(wide);
      }
    }
    return true;
  }

  bool single(const MessageMember & m, void * field)
  {
    switch (m.type_id_) {
      case ti::ROS_TYPE_STRING:
        return string(static_cast<std::string *>(field), m.string_upper_bound_);
      case ti::ROS_TYPE_WSTRING:
        return wstring(static_cast<std::u16string *>(field), m.string_upper_bound_);
      case ti::ROS_TYPE_MESSAGE:
        return message(nested(m), field);
      case ti::ROS_TYPE_BOOLEAN:
        return boolean(static_cast<bool *>(field));
      default: {
          const size_t size = primitive_size(m.type_id_);
          return size != 0 && primitive(field, size);
        }
    }
  }

  bool array(const MessageMember & m, void * field)
  {
    size_t count = m.array_size_;
    if (!is_fixed_array(m)) {
      uint32_t wire_count = 0;
      if (!u32(wire_count)) {
        return false;
      }
      count = wire_count;
      if (m.is_upper_bound_ && count > m.array_size_) {
        return false;
      }
    }
    if (count == 0) {
      if (Store && !is_fixed_array(m)) {
        m.resize_function(field, 0);
      }
      return true;
    }

    const size_t size = primitive_size(m.type_id_);
    size_t min_element = size;
    if (m.type_id_ == ti::ROS_TYPE_STRING || m.type_id_ == ti::ROS_TYPE_WSTRING) {
      min_element = 4;
    } else if (m.type_id_ == ti::ROS_TYPE_MESSAGE) {
      min_element = min_wire_size(nested(m));
    } else if (size == 0) {
      return false;  // a type id this codec does not know
    }
    if (size != 0 && !align(primitive_alignment(size))) {
      return false;
    }
    // Checked before resizing: a forged count must not make us allocate.
    if (count > remaining() / min_element) {
      return false;
    }
    if (Store && !is_fixed_array(m)) {
      m.resize_function(field, count);
    }

    if (is_bool_vector(m)) {
      for (size_t i = 0; i < count; ++i) {
        bool value = false;
        boolean(&value);
        if (Store) {
          m.assign_function(field, i, &value);
        }
      }
      return true;
    }
    if (m.type_id_ == ti::ROS_TYPE_BOOLEAN) {
      bool * dst = Store ? static_cast<bool *>(m.get_function(field, 0)) : nullptr;
      for (size_t i = 0; i < count; ++i) {
        boolean(dst != nullptr ? dst + i : nullptr);
      }
      return true;
    }
    if (size != 0) {
      if (Store) {
        auto * dst = static_cast<uint8_t *>(m.get_function(field, 0));
        std::memcpy(dst, body_ + pos_, count * size);
        if (swap_ && size > 1) {
          for (size_t i = 0; i < count; ++i) {
            byte_swap(dst + i * size, size);
          }
        }
      }
      pos_ += count * size;
      return true;
    }
    for (size_t i = 0; i < count; ++i) {
      if (!single(m, Store ? m.get_function(field, i) : nullptr)) {
        return false;
      }
    }
    return true;
  }

  const uint8_t * body_;
  size_t size_;
  size_t pos_{0};
  bool swap_;
};

// The encapsulation header: 00 00 is big-endian CDR, 00 01 little-endian; the options
// bytes are ignored, as rmw does (Cyclone's own writer puts a padding count there).
bool read_header(const uint8_t * data, size_t size, bool & swap)
{
  if (data == nullptr || size < kHeaderSize || data[0] != 0 || data[1] > 1) {
    return false;
  }
  swap = data[1] == 0;
  return true;
}

}  // namespace

const MessageMembers * members_of(const void * introspection_type_support)
{
  const auto * ts = static_cast<const rosidl_message_type_support_t *>(introspection_type_support);
  if (ts == nullptr) {
    return nullptr;
  }
  // Generated handles carry the identifier's own address; strcmp only for foreign handles.
  if (ts->typesupport_identifier != ti::typesupport_identifier &&
    std::strcmp(ts->typesupport_identifier, ti::typesupport_identifier) != 0)
  {
    ts = ts->func(ts, ti::typesupport_identifier);
    if (ts == nullptr) {
      return nullptr;
    }
  }
  return static_cast<const MessageMembers *>(ts->data);
}

std::string dds_type_name(const MessageMembers * members)
{
  std::string ns = members->message_namespace_;
  for (size_t at = ns.find("__"); at != std::string::npos; at = ns.find("__", at + 2)) {
    ns.replace(at, 2, "::");
  }
  std::string name;
  if (!ns.empty()) {
    name = ns + "::";
  }
  name += "dds_::";
  name += members->message_name_;
  name += "_";
  return name;
}

std::string ros_type_name(const std::string & dds_type_name)
{
  static const std::string marker = "::dds_::";
  const size_t at = dds_type_name.rfind(marker);
  if (at == std::string::npos || at == 0 || dds_type_name.size() <= at + marker.size() + 1 ||
    dds_type_name.back() != '_')
  {
    return std::string();
  }
  std::string ros = dds_type_name.substr(0, at);
  for (size_t pos = ros.find("::"); pos != std::string::npos; pos = ros.find("::", pos + 1)) {
    ros.replace(pos, 2, "/");
  }
  const size_t name_start = at + marker.size();
  ros += "/";
  ros += dds_type_name.substr(name_start, dds_type_name.size() - name_start - 1);
  return ros;
}

size_t serialized_size(const MessageMembers * members, const void * message, bool with_request_id)
{
  Writer w(nullptr, 0);
  if (with_request_id) {
    w.skip(kRequestIdSize);
  }
  encode_message(w, members, message);
  return align_up(kHeaderSize + w.pos(), 4);
}

void serialize(
  const MessageMembers * members, const void * message, const RequestId * id,
  uint8_t * buffer, size_t size)
{
  if (buffer == nullptr || size < kHeaderSize) {
    return;
  }
  buffer[0] = 0x00;
  buffer[1] = 0x01;  // little-endian CDR
  buffer[2] = 0x00;
  buffer[3] = 0x00;
  Writer w(buffer + kHeaderSize, size - kHeaderSize);
  if (id != nullptr) {
    w.put(&id->client_id, 8);
    w.put(&id->sequence, 8);
  }
  encode_message(w, members, message);
  const size_t end = kHeaderSize + w.pos();
  if (end < size) {
    std::memset(buffer + end, 0, size - end);
  }
}

bool validate(const MessageMembers * members, const uint8_t * data, size_t size, bool with_request_id)
{
  bool swap = false;
  if (members == nullptr || !read_header(data, size, swap)) {
    return false;
  }
  Decoder<false> d(data + kHeaderSize, size - kHeaderSize, swap);
  if (with_request_id && !d.request_id(nullptr)) {
    return false;
  }
  return d.message(members, nullptr);
}

bool deserialize(
  const MessageMembers * members, const uint8_t * data, size_t size, void * message,
  RequestId * id)
{
  bool swap = false;
  if (members == nullptr || message == nullptr || !read_header(data, size, swap)) {
    return false;
  }
  Decoder<true> d(data + kHeaderSize, size - kHeaderSize, swap);
  if (id != nullptr && !d.request_id(id)) {
    return false;
  }
  return d.message(members, message);
}

}  // namespace dds
}  // namespace shim
}  // namespace rclcpp
