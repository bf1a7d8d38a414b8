#include "platform/framework/archive.h"

#include <algorithm>
#include <cstring>

#include "platform/files/file.h"
#include "platform/framework/exceptions.h"

namespace {

constexpr std::uint16_t kNullTag = 0x0000;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000;
// Longer class names are not ours: refuse them before reading them.
constexpr std::uint16_t kMaxClassName = 64;

}  // namespace

CArchive::CArchive(CFile* file, Mode mode, std::size_t bufferSize)
    : m_pFile(file), m_mode(mode), m_buffer(std::max<std::size_t>(bufferSize, 16)) {
  m_loadTable.emplace_back();  // index 0 is the null reference
  if (m_mode == load) {
    const std::uint64_t length = m_pFile->GetLength();
    const std::uint64_t pos = m_pFile->GetPosition();
    m_fileLeft = length > pos ? length - pos : 0;
  }
}

CArchive::~CArchive() = default;

void CArchive::Flush() {
  if (m_mode == store && m_bufPos > 0) {
    m_pFile->Write(m_buffer.data(), m_bufPos);
    m_bufPos = 0;
  }
}

void CArchive::Close() { Flush(); }

void CArchive::Fail(const char* what) {
  m_failed = true;
  throw CArchiveException(what);
}

// ---- storing -------------------------------------------------------------

void CArchive::WriteBytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    if (m_bufPos == m_buffer.size()) Flush();
    std::size_t n = std::min(size, m_buffer.size() - m_bufPos);
    std::memcpy(m_buffer.data() + m_bufPos, p, n);
    m_bufPos += n;
    p += n;
    size -= n;
  }
}

void CArchive::WriteByte(std::uint8_t v) { WriteBytes(&v, 1); }

void CArchive::WriteWord(std::uint16_t v) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  WriteBytes(b, 2);
}

void CArchive::WriteDWord(std::uint32_t v) {
  std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  WriteBytes(b, 4);
}

void CArchive::WriteString(const std::string& s) {
  const std::size_t n = s.size();
  if (n < 0xFF) {
    WriteByte(static_cast<std::uint8_t>(n));
  } else if (n < 0xFFFE) {
    WriteByte(0xFF);
    WriteWord(static_cast<std::uint16_t>(n));
  } else {
    WriteByte(0xFF);
    WriteWord(0xFFFF);
    WriteDWord(static_cast<std::uint32_t>(n));
  }
  WriteBytes(s.data(), n);
}

void CArchive::WriteCount(std::uint32_t n) {
  if (n < 0xFFFF) {
    WriteWord(static_cast<std::uint16_t>(n));
  } else {
    WriteWord(0xFFFF);
    WriteDWord(n);
  }
}

void CArchive::WriteObject(const CObject* obj) { WriteNewOrKnown(obj, true); }

void CArchive::WriteOwnedObject(const CObject* obj) { WriteNewOrKnown(obj, false); }

void CArchive::WriteNewOrKnown(const CObject* obj, bool remember) {
  if (obj == nullptr) {
    WriteWord(kNullTag);
    return;
  }
  if (auto it = m_storeMap.find(obj); it != m_storeMap.end()) {
    if (it->second < kBigObjectTag) {
      WriteWord(static_cast<std::uint16_t>(it->second));
    } else {
      WriteWord(kBigObjectTag);
      WriteDWord(it->second);
    }
    return;
  }
  const CRuntimeClass* cls = obj->GetRuntimeClass();
  if (auto it = m_storeMap.find(cls); it != m_storeMap.end()) {
    if (it->second < kBigObjectTag) {
      WriteWord(static_cast<std::uint16_t>(kClassTag | it->second));
    } else {
      WriteWord(kBigObjectTag);
      WriteDWord(kBigClassTag | it->second);
    }
  } else {
    const std::size_t len = std::strlen(cls->m_lpszClassName);
    WriteWord(kNewClassTag);
    WriteWord(static_cast<std::uint16_t>(cls->m_wSchema));
    WriteWord(static_cast<std::uint16_t>(len));
    WriteBytes(cls->m_lpszClassName, len);
    m_storeMap.emplace(cls, m_nextIndex++);
  }
  // The object takes its index all the same: the reader counts it.
  const std::uint32_t index = m_nextIndex++;
  if (remember) m_storeMap.emplace(obj, index);
  const_cast<CObject*>(obj)->Serialize(*this);
}

// ---- loading -------------------------------------------------------------

std::uint64_t CArchive::BytesLeft() const { return m_fileLeft + (m_bufEnd - m_bufPos); }

void CArchive::FillBuffer(std::size_t needed) {
  if (m_failed) throw CArchiveException("archive already failed");
  // Move what is left to the front, then read until enough is there.
  if (m_bufPos > 0) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_bufPos, m_bufEnd - m_bufPos);
    m_bufEnd -= m_bufPos;
    m_bufPos = 0;
  }
  while (m_bufEnd < needed) {
    std::size_t got = m_pFile->Read(m_buffer.data() + m_bufEnd, m_buffer.size() - m_bufEnd);
    if (got == 0) Fail("unexpected end of stream");
    m_bufEnd += got;
    m_fileLeft = got < m_fileLeft ? m_fileLeft - got : 0;
  }
}

void CArchive::ReadBytes(void* data, std::size_t size) {
  if (size > BytesLeft()) Fail("length beyond the end of the stream");
  auto* p = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    if (m_bufPos == m_bufEnd) FillBuffer(1);
    std::size_t n = std::min(size, m_bufEnd - m_bufPos);
    std::memcpy(p, m_buffer.data() + m_bufPos, n);
    m_bufPos += n;
    p += n;
    size -= n;
  }
}

std::uint8_t CArchive::ReadByte() {
  if (m_bufPos == m_bufEnd) FillBuffer(1);
  return m_buffer[m_bufPos++];
}

std::uint16_t CArchive::ReadWord() {
  std::uint8_t b[2];
  ReadBytes(b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t CArchive::ReadDWord() {
  std::uint8_t b[4];
  ReadBytes(b, 4);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::string CArchive::ReadString() {
  std::uint32_t n = ReadByte();
  if (n == 0xFF) {
    n = ReadWord();
    if (n == 0xFFFE) Fail("wide strings are not supported");
    if (n == 0xFFFF) n = ReadDWord();
  }
  if (n > BytesLeft()) Fail("string longer than the stream");
  std::string s(n, '\0');
  ReadBytes(s.data(), n);
  return s;
}

std::uint32_t CArchive::ReadCount(std::size_t minElementSize) {
  std::uint32_t n = ReadWord();
  if (n == 0xFFFF) n = ReadDWord();
  if (static_cast<std::uint64_t>(n) * std::max<std::size_t>(minElementSize, 1) > BytesLeft())
    Fail("count larger than the stream");
  return n;
}

const CRuntimeClass* CArchive::ReadClassRecord() {
  const std::uint16_t schema = ReadWord();
  const std::uint16_t len = ReadWord();
  if (len == 0 || len > kMaxClassName) Fail("bad class name length");
  char name[kMaxClassName + 1];
  ReadBytes(name, len);
  name[len] = '\0';
  const CRuntimeClass* cls = CRuntimeClass::FromName(name);
  if (cls == nullptr) Fail("unknown class");
  if (cls->m_wSchema != schema) Fail("wrong schema");
  return cls;
}

CObject* CArchive::ReadObjectTag(const CRuntimeClass* expected, bool* isNew) {
  if (isNew) *isNew = false;
  // After a failed object the table may name objects that are gone.
  if (m_failed) throw CArchiveException("archive already failed");
  const std::uint16_t tag = ReadWord();
  std::uint32_t obTag;
  if (tag == kBigObjectTag) {
    obTag = ReadDWord();
  } else {
    obTag = (static_cast<std::uint32_t>(tag & kClassTag) << 16) | (tag & ~kClassTag);
  }

  const CRuntimeClass* cls;
  if (tag == kNewClassTag) {
    cls = ReadClassRecord();
    m_loadTable.push_back({cls, nullptr});
  } else if (obTag & kBigClassTag) {
    const std::uint32_t index = obTag & ~kBigClassTag;
    if (index == 0 || index >= m_loadTable.size() || m_loadTable[index].cls == nullptr)
      Fail("reference to a class never read");
    cls = m_loadTable[index].cls;
  } else {
    // A back-reference (or null).
    if (obTag == kNullTag) return nullptr;
    if (obTag >= m_loadTable.size() || m_loadTable[obTag].obj == nullptr)
      Fail("reference to an object never read");
    CObject* obj = m_loadTable[obTag].obj;
    if (!obj->IsKindOf(expected)) Fail("object of the wrong class");
    return obj;
  }

  if (!cls->IsDerivedFrom(expected)) Fail("object of the wrong class");
  std::unique_ptr<CObject> obj(cls->CreateObject());
  if (!obj) Fail("class cannot be created");
  const std::size_t slot = m_loadTable.size();
  m_loadTable.push_back({nullptr, obj.get()});
  try {
    obj->Serialize(*this);
  } catch (...) {
    // The stream is no longer trustworthy and the object dies here: make sure
    // no later reference can reach it.
    m_loadTable[slot].obj = nullptr;
    m_failed = true;
    throw;
  }
  if (isNew) *isNew = true;
  return obj.release();
}

CObject* CArchive::ReadObject(const CRuntimeClass* expected, bool* isNew) {
  bool fresh = false;
  CObject* obj = ReadObjectTag(expected, &fresh);
  if (isNew) *isNew = fresh;
  return obj;
}

std::unique_ptr<CObject> CArchive::ReadNewObject(const CRuntimeClass* expected) {
  bool fresh = false;
  CObject* obj = ReadObjectTag(expected, &fresh);
  if (obj != nullptr && !fresh) Fail("shared object where a new one is required");
  return std::unique_ptr<CObject>(obj);
}

CObject* CArchive::ReadReference(const CRuntimeClass* expected) {
  bool fresh = false;
  CObject* obj = ReadObjectTag(expected, &fresh);
  if (fresh) {
    std::unique_ptr<CObject> discard(obj);  // never handed out: the stream broke the rule
    Fail("new object where a reference is required");
  }
  return obj;
}
