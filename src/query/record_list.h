// The common object base of the tool's records and the owning record list
// that event and publisher lists are made of. FreeRecordList destroys a list
// and every record in it through the virtual destructors, whatever the kind
// of record; RecordListPtr holds a list for a handler and frees it that way on
// every path.
#ifndef QRV_QUERY_RECORD_LIST_H_
#define QRV_QUERY_RECORD_LIST_H_

#include <cstddef>
#include <memory>
#include <vector>

namespace qrv {

// Base of every record: a run-time class query, a virtual destructor and a
// serialisation that does nothing (records are never stored).
class CZK_OBJECT {
 public:
  virtual const char* GetRuntimeClass() const;
  virtual ~CZK_OBJECT();
  virtual void Serialize();

 protected:
  CZK_OBJECT() = default;
  CZK_OBJECT(const CZK_OBJECT&) = default;
  CZK_OBJECT& operator=(const CZK_OBJECT&) = default;
};

// An ordered list that owns its records; appended at the tail only.
class CZK_OBJECT_LIST : public CZK_OBJECT {
 public:
  CZK_OBJECT_LIST() = default;
  ~CZK_OBJECT_LIST() override;
  CZK_OBJECT_LIST(const CZK_OBJECT_LIST&) = delete;
  CZK_OBJECT_LIST& operator=(const CZK_OBJECT_LIST&) = delete;

  const char* GetRuntimeClass() const override;
  size_t GetCount() const { return items_.size(); }
  bool IsEmpty() const { return items_.empty(); }
  void AddTail(std::unique_ptr<CZK_OBJECT> record) {
    items_.push_back(std::move(record));
  }
  const CZK_OBJECT* At(size_t index) const { return items_[index].get(); }

 private:
  friend void FreeRecordList(CZK_OBJECT_LIST* list);
  std::vector<std::unique_ptr<CZK_OBJECT>> items_;
};

// A list whose records are all of type T.
template <typename T>
class CZK_TYPED_LIST : public CZK_OBJECT_LIST {
 public:
  void AddTail(std::unique_ptr<T> record) {
    CZK_OBJECT_LIST::AddTail(std::move(record));
  }
  const T& operator[](size_t index) const {
    return static_cast<const T&>(*At(index));
  }
};

// Destroys every record (head to tail), then the list object itself, which
// must have been created with new. A null list is ignored.
void FreeRecordList(CZK_OBJECT_LIST* list);

struct RecordListDeleter {
  void operator()(CZK_OBJECT_LIST* list) const { FreeRecordList(list); }
};
template <typename List>
using RecordListPtr = std::unique_ptr<List, RecordListDeleter>;

template <typename List>
RecordListPtr<List> NewRecordList() {
  return RecordListPtr<List>(new List());
}

}  // namespace qrv

#endif  // QRV_QUERY_RECORD_LIST_H_
