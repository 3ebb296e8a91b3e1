#include "VmDynamicLists.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

namespace {

constexpr const char *UnitName = "VmLib\\VmDynamicLists";
// The lines that the unit's contract assertions report.
constexpr int AssignAssertLine = 533;
constexpr int InsertAssertLine = 749;
constexpr int SetCapacityAssertLine = 842;

// Loading reads items in blocks of this many bytes, so that a corrupt count
// cannot claim more memory than the stream actually holds.
constexpr int64_t LoadBlockBytes = 65536;

[[noreturn]] void ListIndexError(int32_t Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }

[[noreturn]] void ListCountError(int32_t Count) { throw EListError(Format("List count out of bounds (%d)", Count)); }

// realloc that keeps the contents; a size of zero frees the block.
template <class T, class D> void Reallocate(std::unique_ptr<T[], D> &Block, size_t Bytes) {
  if (Bytes == 0) {
    Block.reset();
    return;
  }
  void *p = std::realloc(Block.get(), Bytes);
  if (p == nullptr)
    throw std::bad_alloc();
  (void)Block.release();
  Block.reset(static_cast<T *>(p));
}

} // namespace

int32_t GrowCapacity(int32_t Capacity) {
  if (Capacity > 64)
    return Capacity + Capacity / 4;
  if (Capacity > 8)
    return Capacity + 16;
  return Capacity + 4;
}

// ---------------------------------------------------------------------------
// TDynamicList

TDynamicList::TDynamicList(int32_t ItemSize, bool BinaryStreaming)
    : FItemSize(ItemSize), FBinaryStreaming(BinaryStreaming) {
  if (ItemSize <= 0)
    throw EListError("TDynamicList.Create: The item size must be greater than zero.");
}

TDynamicList::~TDynamicList() noexcept(false) {
  // Checked before anything is released, as the interface rule demands; while
  // another exception is on its way out, raising would end the program.
  if (FRefCount != 0 && std::uncaught_exceptions() == 0)
    throw EInvalidPointer("Reference count not zero.");
  if (OnDestroy)
    OnDestroy(*this);
  // Clear: the storage itself is released by its owner pointer.
  FCount = 0;
  FCapacity = 0;
}

int32_t TDynamicList::AddRef() { return ++FRefCount; }

int32_t TDynamicList::Release() {
  const int32_t count = --FRefCount;
  if (count == 0)
    delete this;
  return count;
}

void TDynamicList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= FCount)
    ListIndexError(Index);
}

int32_t TDynamicList::Compare(const void *, const void *) {
  throw EListError("TDynamicList.Compare: " + ClassName() + " does not support sorting.");
}

void TDynamicList::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  if (Index1 == Index2)
    return;
  std::vector<uint8_t> temp(static_cast<size_t>(FItemSize));
  std::memcpy(temp.data(), Item(Index1), temp.size());
  std::memcpy(Item(Index1), Item(Index2), temp.size());
  std::memcpy(Item(Index2), temp.data(), temp.size());
}

void TDynamicList::InsertItem(int32_t Index, const void *Item_) {
  if (FCount == FCapacity)
    SetCapacity(GrowCapacity(FCapacity));
  std::memmove(Item(Index + 1), Item(Index), static_cast<size_t>(FCount - Index) * FItemSize);
  std::memcpy(Item(Index), Item_, static_cast<size_t>(FItemSize));
  ++FCount;
}

void TDynamicList::ReadItem(TStream &, void *) {}

void TDynamicList::WriteItem(TStream &, const void *) {}

void TDynamicList::SetCapacity(int32_t NewCapacity) {
  Assert(NewCapacity >= FCount, "Cannot set the capacity smaller than the number of items in the list.", UnitName,
         SetCapacityAssertLine);
  if (NewCapacity > std::numeric_limits<int32_t>::max() / FItemSize - 1)
    throw EListError("TDynamicList.SetCapacity: The maximum size of the list has been reached.");
  if (NewCapacity != FCapacity) {
    Reallocate(FItems, static_cast<size_t>(NewCapacity) * FItemSize);
    FCapacity = NewCapacity;
  }
}

void TDynamicList::Delete(int32_t Index) {
  CheckIndex(Index);
  --FCount;
  std::memmove(Item(Index), Item(Index + 1), static_cast<size_t>(FCount - Index) * FItemSize);
}

int32_t TDynamicList::Add(const void *Item_) {
  if (!FSorted) {
    InsertItem(FCount, Item_);
    return FCount - 1;
  }
  int32_t index;
  if (Find(Item_, index) && !FDuplicates)
    throw EListError("TDynamicList.Add: Duplicate items are not allowed.");
  InsertItem(index, Item_);
  return index;
}

void TDynamicList::Insert(int32_t Index, const void *Item_) {
  Assert(!FSorted, "Cannot insert into a sorted list.", UnitName, InsertAssertLine);
  if (Index < 0 || Index > FCount)
    ListIndexError(Index);
  InsertItem(Index, Item_);
}

void TDynamicList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TDynamicList::Fill(const void *Item_) {
  if (FCount == 0)
    return;
  std::memcpy(Item(0), Item_, static_cast<size_t>(FItemSize));
  // Copies the filled prefix onto the rest, doubling it each time.
  for (int32_t n = 1; n < FCount;) {
    const int32_t k = std::min(n, FCount - n);
    std::memcpy(Item(n), Item(0), static_cast<size_t>(k) * FItemSize);
    n += k;
  }
}

bool TDynamicList::Find(const void *Item_, int32_t &Index) {
  bool found = false;
  int32_t L = 0;
  int32_t H = FCount - 1;
  while (L <= H) {
    const int32_t M = static_cast<int32_t>(static_cast<uint32_t>(L + H) >> 1);
    const int32_t C = Compare(Item(M), Item_);
    if (C < 0) {
      L = M + 1;
    } else {
      H = M - 1;
      if (C == 0) {
        found = true;
        L = M;
      }
    }
  }
  Index = L;
  return found;
}

int32_t TDynamicList::IndexOf(const void *Item_) {
  if (FSorted) {
    int32_t index;
    return Find(Item_, index) ? index : -1;
  }
  for (int32_t i = 0; i < FCount; ++i)
    if (Compare(Item(i), Item_) == 0)
      return i;
  return -1;
}

void TDynamicList::Sort() {
  if (!FSorted && FCount >= 2)
    QuickSort(0, FCount - 1);
}

void TDynamicList::QuickSort(int32_t L, int32_t R) {
  std::vector<uint8_t> pivot(static_cast<size_t>(FItemSize));
  int32_t I;
  do {
    I = L;
    int32_t J = R;
    std::memcpy(pivot.data(), Item(static_cast<int32_t>(static_cast<uint32_t>(L + R) >> 1)), pivot.size());
    do {
      while (Compare(Item(I), pivot.data()) < 0)
        ++I;
      while (Compare(Item(J), pivot.data()) > 0)
        --J;
      if (I <= J) {
        Exchange(I, J);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J)
      QuickSort(L, J);
    L = I;
  } while (I < R);
}

void TDynamicList::SetCount(int32_t NewCount) {
  if (NewCount < 0)
    ListCountError(NewCount);
  if (NewCount > FCapacity)
    SetCapacity(NewCount);
  if (NewCount > FCount)
    std::memset(Item(FCount), 0, static_cast<size_t>(NewCount - FCount) * FItemSize);
  FCount = NewCount;
}

void TDynamicList::SetSorted(bool Value) {
  if (Value)
    Sort();
  FSorted = Value;
}

void TDynamicList::SetDescending(bool Value) {
  if (Value == FDescending)
    return;
  FDescending = Value;
  if (FSorted && FCount >= 2)
    QuickSort(0, FCount - 1);
}

void TDynamicList::Assign(const TPersistent &Source) {
  const auto *source = dynamic_cast<const TDynamicList *>(&Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  Assert(source->FItemSize == FItemSize, "The source item size must be equal to the destination item size.", UnitName,
         AssignAssertLine);
  if (source == this)
    return;
  FCount = 0;
  SetCapacity(source->FCount);
  FCount = source->FCount;
  std::memcpy(Items(), source->Items(), static_cast<size_t>(FCount) * FItemSize);
}

void TDynamicList::SaveToStream(TStream &Stream) const {
  const int32_t count = FCount;
  uint8_t prefix[4];
  for (int i = 0; i < 4; ++i)
    prefix[i] = static_cast<uint8_t>(static_cast<uint32_t>(count) >> (8 * i));
  Stream.WriteBuffer(prefix, 4);
  const int64_t bytes = static_cast<int64_t>(count) * FItemSize;
  Stream.WriteBuffer(Items(), static_cast<int32_t>(bytes));
}

void TDynamicList::LoadFromStream(TStream &Stream) {
  uint8_t prefix[4];
  Stream.ReadBuffer(prefix, 4);
  const auto count =
      static_cast<int32_t>(prefix[0] | prefix[1] << 8 | prefix[2] << 16 | static_cast<uint32_t>(prefix[3]) << 24);
  if (count < 0 || count > std::numeric_limits<int32_t>::max() / FItemSize - 1)
    ListCountError(count);
  // Read into a block of its own, growing block by block as the bytes
  // arrive, and take it over only when every item has been read: a short
  // stream raises its own error and leaves the list as it was.
  const int64_t total = static_cast<int64_t>(count) * FItemSize;
  std::unique_ptr<uint8_t[], TFreeDeleter> block;
  for (int64_t done = 0; done < total;) {
    const int64_t part = std::min(LoadBlockBytes, total - done);
    Reallocate(block, static_cast<size_t>(done + part));
    Stream.ReadBuffer(block.get() + done, static_cast<int32_t>(part));
    done += part;
  }
  FItems = std::move(block);
  FCount = count;
  FCapacity = count;
  if (FSorted && FCount >= 2)
    QuickSort(0, FCount - 1);
}

// ---------------------------------------------------------------------------
// TIntList

int32_t TIntList::Compare(const void *Item1, const void *Item2) {
  int32_t a, b;
  std::memcpy(&a, Item1, sizeof a);
  std::memcpy(&b, Item2, sizeof b);
  const int32_t result = a < b ? -1 : (a == b ? 0 : 1);
  return Descending() ? -result : result;
}

void TIntList::ReadItem(TStream &Reader, void *ItemAddress) { Reader.ReadBuffer(ItemAddress, sizeof(int32_t)); }

void TIntList::WriteItem(TStream &Writer, const void *ItemAddress) { Writer.WriteBuffer(ItemAddress, sizeof(int32_t)); }

// ---------------------------------------------------------------------------
// TFastList

int32_t TFastList::Add(void *Item) {
  if (FCount == FCapacity)
    SetCapacity(GrowCapacity(FCapacity));
  FItems[FCount] = Item;
  return FCount++;
}

void TFastList::Delete(int32_t Index) {
  if (Index < 0 || Index >= FCount)
    ListIndexError(Index);
  --FCount;
  std::memmove(&FItems[Index], &FItems[Index + 1], static_cast<size_t>(FCount - Index) * sizeof(void *));
}

void TFastList::Clear() {
  FCount = 0;
  SetCapacity(0);
}

void TFastList::SetCount(int32_t NewCount) {
  if (NewCount < 0)
    ListCountError(NewCount);
  if (NewCount > FCapacity)
    SetCapacity(NewCount);
  for (int32_t i = FCount; i < NewCount; ++i)
    FItems[i] = nullptr;
  FCount = NewCount;
}

void TFastList::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < FCount || NewCapacity > std::numeric_limits<int32_t>::max() / int32_t{sizeof(void *)} - 1)
    throw EListError(Format("List capacity out of bounds (%d)", NewCapacity));
  if (NewCapacity != FCapacity) {
    Reallocate(FItems, static_cast<size_t>(NewCapacity) * sizeof(void *));
    FCapacity = NewCapacity;
  }
}

int32_t FastListAdd(std::unique_ptr<TFastList> &List, void *Item) {
  if (!List)
    List = std::make_unique<TFastList>();
  return List->Add(Item);
}

// ---------------------------------------------------------------------------
// TPolygon

int32_t TPolygon::AddPoint(const TPoint &Point) {
  FPoints.push_back(Point);
  FPreparedValid = false;
  return Count() - 1;
}

void TPolygon::DeletePoint(int32_t Index) {
  if (Index < 0 || Index >= Count())
    ListIndexError(Index);
  FPoints.erase(FPoints.begin() + Index);
  FPreparedValid = false;
}

void TPolygon::Clear() {
  FPoints.clear();
  FPreparedValid = false;
}

TPoint TPolygon::GetPoint(int32_t Index) const {
  if (Index < 0 || Index >= Count())
    ListIndexError(Index);
  return FPoints[static_cast<size_t>(Index)];
}

void TPolygon::Assign(const TPolygon &Source) {
  if (&Source == this)
    return;
  FPoints = Source.FPoints;
  FPrepared = Source.FPrepared;
  FPreparedValid = Source.FPreparedValid;
}

void TPolygon::LoadFromStream(TStream &Stream) {
  Clear();
  uint8_t word[8];
  auto int32At = [&word](int at) {
    return static_cast<int32_t>(word[at] | word[at + 1] << 8 | word[at + 2] << 16 |
                                static_cast<uint32_t>(word[at + 3]) << 24);
  };
  // Whole reads: a stream that ends early raises instead of supplying zeros,
  // so a corrupt count cannot make the loop run on without data.
  Stream.ReadBuffer(word, 4);
  const int32_t n = int32At(0);
  std::vector<TPoint> points;
  for (int32_t i = 0; i < n; ++i) {
    Stream.ReadBuffer(word, 8);
    points.push_back({int32At(0), int32At(4)});
  }
  FPoints = std::move(points);
}

void TPolygon::Prepare() {
  // Vertices sit on pixel corners, half a pixel before the pixel centres.
  const size_t n = FPoints.size();
  FPrepared.clear();
  FPrepared.reserve(n);
  for (size_t k = n; k-- > 0;) {
    const TPoint &a = FPoints[k];
    const TPoint &b = FPoints[(k + 1) % n];
    const double ax = a.X - 0.5, ay = a.Y - 0.5, bx = b.X - 0.5, by = b.Y - 0.5;
    TPreparedEdge e{};
    e.X = ax;
    e.Y = ay;
    e.MinX = std::min(ax, bx);
    e.MaxX = std::max(ax, bx);
    e.MinY = std::min(ay, by);
    e.MaxY = std::max(ay, by);
    e.Horizontal = ay == by;
    e.Vertical = ax == bx;
    if (!e.Horizontal)
      e.InverseSlope = (static_cast<long double>(bx) - ax) / (static_cast<long double>(by) - ay);
    FPrepared.push_back(e);
  }
  FPreparedValid = true;
}

bool TPolygon::Contains(const TPoint &Point) {
  if (FPoints.empty())
    return false;
  if (!FPreparedValid)
    Prepare();
  const double x = Point.X, y = Point.Y;
  bool inside = false;
  for (const TPreparedEdge &e : FPrepared) {
    if (e.Horizontal) {
      if (y == e.Y && e.MinX <= x && x <= e.MaxX)
        return true;
      continue;
    }
    if (e.MinY <= y && y <= e.MaxY) {
      const long double c = e.Vertical ? e.X : (y - e.Y) * e.InverseSlope + e.X;
      if (e.MinX <= c && c <= e.MaxX && c < x)
        inside = !inside;
    }
  }
  return inside;
}
