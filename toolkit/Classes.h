// The framework's object and stream classes: TPersistent with its Assign, the
// abstract TStream and an in-memory stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SysUtils.h"

// The framework's base of objects that can copy themselves from another
// object: Assign asks the source to copy itself into this object, which by
// default fails with EConvertError.
class TPersistent {
public:
  TPersistent() = default;
  TPersistent(const TPersistent &) = delete;
  TPersistent &operator=(const TPersistent &) = delete;
  // May raise, as the framework's destructors may: a list destroyed while
  // still referenced reports it.
  virtual ~TPersistent() noexcept(false) = default;

  virtual void Assign(const TPersistent &Source);
  // The class's name as error messages give it; every class that appears in
  // a message overrides it.
  virtual std::string ClassName() const { return "TPersistent"; }

protected:
  virtual void AssignTo(TPersistent &Dest) const;
};

enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// The legacy 16-bit origin words of the 32-bit Seek.
constexpr uint16_t soFromBeginning = 0;
constexpr uint16_t soFromCurrent = 1;
constexpr uint16_t soFromEnd = 2;

class TStream {
public:
  TStream() = default;
  TStream(const TStream &) = delete;
  TStream &operator=(const TStream &) = delete;
  virtual ~TStream() = default;

  // Overridable operations, in the framework's slot order.
  virtual int64_t GetSize();
  virtual void SetSize(int32_t NewSize);
  virtual void SetSize(int64_t NewSize);
  virtual int32_t Read(void *Buffer, int32_t Count) = 0;
  virtual int32_t Write(const void *Buffer, int32_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  // The 32-bit form: forwards to the 64-bit Seek. An unknown origin word is
  // passed on unchanged, so the stream itself decides how to refuse it.
  int32_t Seek(int32_t Offset, uint16_t Origin);

  int64_t Position() { return Seek(int64_t{0}, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }
  int64_t Size() { return GetSize(); }

  // Whole-buffer forms: raise EReadError "Stream read error" /
  // EWriteError "Stream write error" on a short transfer.
  void ReadBuffer(void *Buffer, int32_t Count);
  void WriteBuffer(const void *Buffer, int32_t Count);
  // Copies Count bytes from Source (all of it from the start when Count is 0
  // or negative).
  int64_t CopyFrom(TStream &Source, int64_t Count);
};

// A growable stream in memory. Reads at the end return short counts, as the
// framework's memory stream does.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : FData(std::move(bytes)) {}

  using TStream::Seek;
  using TStream::SetSize;
  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t NewSize) override;
  int32_t Read(void *Buffer, int32_t Count) override;
  int32_t Write(const void *Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  const std::vector<uint8_t> &Bytes() const { return FData; }
  uint8_t *Memory() { return FData.data(); }
  void Clear();

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};
