// Where a position of a page lies as a browser reads the markup: in text, inside a tag, in an
// attribute's value, in a script or style element, or in a comment. The page processor asks it
// before taking a file name for a link, so prose and code samples are never taken for links.
//
// A forward walk over the bytes with a handful of states (no tree, no allocation per tag);
// positions asked for must not decrease, which keeps a whole page one pass.
#pragma once

#include <cstddef>
#include <string_view>

namespace orv::page {

enum class Region : unsigned char {
  Text,     // element content: prose, code samples
  Tag,      // inside a tag, outside any value (names, "=", blanks)
  Value,    // an attribute's value
  Script,   // the content of a script element
  Style,    // the content of a style element
  Comment,  // a comment or a declaration ("<!DOCTYPE ...>", "<?xml ...?>")
};

struct Place {
  Region region = Region::Text;
  // Region::Value only: the attribute's name (lower case, its first 31 bytes), the value's
  // quote ('\0' when unquoted) and where the value begins (after the quote).
  std::string_view attribute;
  char quote = '\0';
  std::size_t valueStart = 0;
};

class MarkupContext {
 public:
  explicit MarkupContext(std::string_view text) : t_(text) {}

  // The region of the byte at pos. A position before the last one asked for restarts the walk.
  Place At(std::size_t pos);

 private:
  enum class State : unsigned char {
    Data, TagName, EndTag, BeforeName, Name, AfterName, BeforeValue, Quoted, Unquoted, Raw, Comment,
    Declaration
  };
  void Step();
  void EndOfTag();
  bool RawEndAt(std::size_t i) const;

  std::string_view t_;
  std::size_t i_ = 0;
  std::size_t asked_ = 0;  // the last position asked for
  State state_ = State::Data;
  bool rawScript_ = false;  // Raw: a script element (else a style element)
  char tagName_[8] = {};    // enough for "script" and "style"
  std::size_t tagLength_ = 0;
  char attribute_[31] = {};
  std::size_t attributeLength_ = 0;
  char quote_ = '\0';
  std::size_t valueStart_ = 0;
};

}  // namespace orv::page
