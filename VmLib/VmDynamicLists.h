// The library's containers: a growable array of fixed-size items kept by
// value (optionally sorted), its 32-bit integer form, a bare growable array of
// pointers, and a polygon of integer points with a point-in-polygon test.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Types.h"

// Capacity after growing a full list of Capacity items: a quarter more above
// 64 items, 16 more from 9 to 64, 4 more up to 8.
int32_t GrowCapacity(int32_t Capacity);

// The reference-counted face of a list. At a count of zero the object
// destroys itself.
class IDynamicList {
public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;

protected:
  ~IDynamicList() = default;
};

class TDynamicList : public TPersistent, public IDynamicList {
public:
  TDynamicList(int32_t ItemSize, bool BinaryStreaming);
  // Calls OnDestroy, then frees the items. Destroying a list that still has
  // interface references raises EInvalidPointer "Reference count not zero."
  ~TDynamicList() noexcept(false) override;

  std::string ClassName() const override { return "TDynamicList"; }

  // Items are passed by address; the list copies ItemSize bytes.
  int32_t Add(const void *Item);
  void Insert(int32_t Index, const void *Item);
  void Clear();
  void Fill(const void *Item);
  // Bisection over a sorted list: true on a hit (Index is the equal item the
  // bisection met), false with Index at the insertion point.
  bool Find(const void *Item, int32_t &Index);
  int32_t IndexOf(const void *Item);
  void Sort();
  void SetCount(int32_t NewCount);
  void LoadFromStream(TStream &Stream);
  void SaveToStream(TStream &Stream) const;
  void Assign(const TPersistent &Source) override;

  // Overridable operations.
  virtual int32_t Compare(const void *Item1, const void *Item2);
  virtual void Exchange(int32_t Index1, int32_t Index2);
  virtual void InsertItem(int32_t Index, const void *Item);
  virtual void ReadItem(TStream &Reader, void *ItemAddress);
  virtual void SetCapacity(int32_t NewCapacity);
  virtual void WriteItem(TStream &Writer, const void *ItemAddress);
  virtual void Delete(int32_t Index);

  int32_t AddRef() override;
  int32_t Release() override;

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  int32_t ItemSize() const { return FItemSize; }
  void *Items() const { return FItems.get(); }
  void *Item(int32_t Index) const { return FItems.get() + static_cast<size_t>(Index) * FItemSize; }
  bool Sorted() const { return FSorted; }
  bool Duplicates() const { return FDuplicates; }
  bool Descending() const { return FDescending; }
  bool BinaryStreaming() const { return FBinaryStreaming; }
  int32_t RefCount() const { return FRefCount; }
  // Sorts first when the flag is set; clearing it only clears it.
  void SetSorted(bool Value);
  void SetDuplicates(bool Value) { FDuplicates = Value; }
  // A sorted list is sorted again under the new order.
  void SetDescending(bool Value);

  std::function<void(TDynamicList &)> OnDestroy;

protected:
  void QuickSort(int32_t L, int32_t R);
  void CheckIndex(int32_t Index) const;

private:
  struct TFreeDeleter {
    void operator()(uint8_t *p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t[], TFreeDeleter> FItems;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
  int32_t FItemSize;
  bool FSorted = false;
  bool FDuplicates = false;
  bool FDescending = false;
  bool FBinaryStreaming;
  std::atomic<int32_t> FRefCount{0};
};

// A list of signed 32-bit integers in signed order (reversed when Descending).
class TIntList : public TDynamicList {
public:
  TIntList() : TDynamicList(sizeof(int32_t), false) {}

  std::string ClassName() const override { return "TIntList"; }

  using TDynamicList::Add;
  using TDynamicList::Fill;
  using TDynamicList::Find;
  using TDynamicList::IndexOf;
  using TDynamicList::Insert;
  int32_t Add(int32_t Value) { return Add(&Value); }
  void Insert(int32_t Index, int32_t Value) { Insert(Index, &Value); }
  void Fill(int32_t Value) { Fill(&Value); }
  bool Find(int32_t Value, int32_t &Index) { return Find(&Value, Index); }
  int32_t IndexOf(int32_t Value) { return IndexOf(&Value); }

  int32_t *Integers() const { return static_cast<int32_t *>(Items()); }
  int32_t &operator[](int32_t Index) const { return Integers()[Index]; }
  std::vector<int32_t> ToVector() const { return {Integers(), Integers() + Count()}; }

  int32_t Compare(const void *Item1, const void *Item2) override;
  void ReadItem(TStream &Reader, void *ItemAddress) override;
  void WriteItem(TStream &Writer, const void *ItemAddress) override;
};

// A bare growable array of pointers. It never frees what they point to.
class TFastList {
public:
  TFastList() = default;
  TFastList(const TFastList &) = delete;
  TFastList &operator=(const TFastList &) = delete;
  ~TFastList() = default;

  int32_t Add(void *Item);
  void Delete(int32_t Index);
  void Clear();
  // New places are null.
  void SetCount(int32_t NewCount);
  void SetCapacity(int32_t NewCapacity);

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  void **Items() const { return FItems.get(); }
  void *operator[](int32_t Index) const { return FItems.get()[Index]; }

private:
  struct TFreeDeleter {
    void operator()(void **p) const { std::free(p); }
  };
  std::unique_ptr<void *[], TFreeDeleter> FItems;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
};

// Adds Item to the list held in List, creating the list first when there is none.
int32_t FastListAdd(std::unique_ptr<TFastList> &List, void *Item);

// A polygon of integer points (pixels) with a point-in-polygon test.
class TPolygon {
public:
  TPolygon() = default;
  TPolygon(const TPolygon &) = delete;
  TPolygon &operator=(const TPolygon &) = delete;
  // Moved rather than copied: a border may hold many points.
  TPolygon(TPolygon &&) noexcept = default;
  TPolygon &operator=(TPolygon &&) noexcept = default;

  int32_t AddPoint(const TPoint &Point);
  void DeletePoint(int32_t Index);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(FPoints.size()); }
  TPoint GetPoint(int32_t Index) const;
  void Assign(const TPolygon &Source);
  // A signed 32-bit count, then X and Y (signed 32-bit) per point.
  void LoadFromStream(TStream &Stream);
  // Pixel (x, y) is inside when its centre lies inside the outline through
  // the pixel corners (even-odd rule). The corners sit half a pixel off the
  // centres, so no centre lies on a horizontal or vertical edge; a centre
  // exactly on a sloped edge falls on whichever side the rounding puts it.
  bool Contains(const TPoint &Point);

private:
  // One edge from a vertex to the next, prepared once for Contains.
  struct TPreparedEdge {
    double X, Y;
    double MinX, MinY, MaxX, MaxY;
    bool Horizontal, Vertical;
    long double InverseSlope;
  };
  void Prepare();

  std::vector<TPoint> FPoints;
  std::vector<TPreparedEdge> FPrepared;
  bool FPreparedValid = false;
};
