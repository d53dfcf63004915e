// Record-set factory whose behaviour a test can swap: native tables by
// default, or a creation failure.
#pragma once
#include <functional>
#include <memory>

#include "native/memory_table.h"
#include "platform/failure.h"
#include "platform/record_set.h"

namespace moravex {

class ScriptedRecordSets final : public RecordSetFactory {
 public:
  std::function<std::shared_ptr<RecordSet>()> create = [] { return std::make_shared<MemoryTable>(); };

  std::shared_ptr<RecordSet> Create() override {
    ++created_;
    return create();
  }
  int Created() const { return created_; }

  // What a host without a usable record-set class sees.
  void FailWith(const std::string& source, const std::string& description) {
    create = [source, description]() -> std::shared_ptr<RecordSet> {
      throw Failure(AutomationError(429), source, description);
    };
  }

 private:
  int created_ = 0;
};

}  // namespace moravex
