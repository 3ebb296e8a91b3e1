#include "Classes.h"

#include <algorithm>
#include <cstring>

void TPersistent::Assign(const TPersistent &Source) { Source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent &Dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest.ClassName());
}

int64_t TStream::GetSize() {
  const int64_t position = Seek(int64_t{0}, TSeekOrigin::soCurrent);
  const int64_t size = Seek(int64_t{0}, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int32_t NewSize) { SetSize(static_cast<int64_t>(NewSize)); }

void TStream::SetSize(int64_t) {}

int32_t TStream::Seek(int32_t Offset, uint16_t Origin) {
  return static_cast<int32_t>(Seek(static_cast<int64_t>(Offset), static_cast<TSeekOrigin>(Origin)));
}

void TStream::ReadBuffer(void *Buffer, int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count)
    throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void *Buffer, int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count)
    throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream &Source, int64_t Count) {
  // A negative count would size the buffer from a wrapped length; like 0, it
  // asks for the whole source.
  if (Count <= 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, 65536)) + 1);
  int64_t left = Count;
  while (left > 0) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0)
    throw EStreamError("Out of memory while expanding memory stream");
  FData.resize(static_cast<size_t>(NewSize));
  if (FPosition > NewSize)
    FPosition = NewSize;
}

int32_t TMemoryStream::Read(void *Buffer, int32_t Count) {
  if (Count <= 0 || FPosition >= GetSize())
    return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(Count, GetSize() - FPosition));
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TMemoryStream::Write(const void *Buffer, int32_t Count) {
  if (Count <= 0)
    return 0;
  const int64_t end = FPosition + Count;
  if (end > GetSize())
    FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
  case TSeekOrigin::soBeginning: FPosition = Offset; break;
  case TSeekOrigin::soCurrent: FPosition += Offset; break;
  case TSeekOrigin::soEnd: FPosition = GetSize() + Offset; break;
  }
  if (FPosition < 0)
    FPosition = 0;
  return FPosition;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}
