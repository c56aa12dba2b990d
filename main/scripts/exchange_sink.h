#pragma once
// Where the model's settings reach the console: single orvext records, written by record
// number. Production code writes into the exchange file; tests record the writes.

#include <string>

namespace orv {

class ExchangeSink {
 public:
  virtual ~ExchangeSink() = default;
  virtual void WriteRecord(int record, const std::string& value) = 0;
};

}  // namespace orv
