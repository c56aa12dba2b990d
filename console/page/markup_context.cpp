#include "console/page/markup_context.h"

#include <cstring>

namespace orv::page {

namespace {

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsNoCase(std::string_view t, std::size_t i, std::string_view low) {
  if (i + low.size() > t.size()) return false;
  for (std::size_t k = 0; k < low.size(); ++k) {
    if (Lower(t[i + k]) != low[k]) return false;
  }
  return true;
}

}  // namespace

Place MarkupContext::At(std::size_t pos) {
  // A step may pass a few bytes at once ("<!--"): a position inside them keeps the state.
  if (pos < asked_) {
    i_ = 0;
    state_ = State::Data;
  }
  asked_ = pos;
  while (i_ < pos && i_ < t_.size()) Step();
  Place p;
  switch (state_) {
    case State::Data: p.region = Region::Text; break;
    case State::Raw: p.region = rawScript_ ? Region::Script : Region::Style; break;
    case State::Comment:
    case State::Declaration: p.region = Region::Comment; break;
    case State::Quoted:
    case State::Unquoted:
      p.region = Region::Value;
      p.attribute = std::string_view(attribute_, attributeLength_);
      p.quote = quote_;
      p.valueStart = valueStart_;
      break;
    default: p.region = Region::Tag; break;
  }
  return p;
}

bool MarkupContext::RawEndAt(std::size_t i) const {
  return t_[i] == '<' && i + 1 < t_.size() && t_[i + 1] == '/' &&
         StartsNoCase(t_, i + 2, rawScript_ ? "script" : "style");
}

void MarkupContext::EndOfTag() {
  state_ = State::Data;
  if (tagLength_ == 6 && std::memcmp(tagName_, "script", 6) == 0) {
    state_ = State::Raw;
    rawScript_ = true;
  } else if (tagLength_ == 5 && std::memcmp(tagName_, "style", 5) == 0) {
    state_ = State::Raw;
    rawScript_ = false;
  }
}

void MarkupContext::Step() {
  const char c = t_[i_];
  switch (state_) {
    case State::Data:
      if (c == '<' && i_ + 1 < t_.size()) {
        const char next = t_[i_ + 1];
        if (StartsNoCase(t_, i_ + 1, "!--")) {
          state_ = State::Comment;
          i_ += 4;
          return;
        }
        if (next == '!' || next == '?') {
          state_ = State::Declaration;
        } else if (next == '/') {
          state_ = State::EndTag;
        } else if (IsLetter(next)) {
          state_ = State::TagName;
          tagLength_ = 0;
        }
      }
      break;
    case State::TagName:
      if (!IsBlank(c) && c != '>' && c != '/') {
        if (tagLength_ < sizeof tagName_) tagName_[tagLength_] = Lower(c);
        ++tagLength_;
        break;
      }
      state_ = State::BeforeName;
      [[fallthrough]];
    case State::BeforeName:
      if (c == '>') {
        EndOfTag();
      } else if (!IsBlank(c) && c != '/') {
        state_ = State::Name;
        attribute_[0] = Lower(c);
        attributeLength_ = 1;
      }
      break;
    case State::Name:
      if (c == '=') {
        state_ = State::BeforeValue;
      } else if (c == '>') {
        EndOfTag();
      } else if (IsBlank(c)) {
        state_ = State::AfterName;
      } else if (c == '/') {
        state_ = State::BeforeName;
      } else if (attributeLength_ < sizeof attribute_) {
        attribute_[attributeLength_++] = Lower(c);
      }
      break;
    case State::AfterName:
      if (c == '=') {
        state_ = State::BeforeValue;
      } else if (c == '>') {
        EndOfTag();
      } else if (!IsBlank(c) && c != '/') {
        state_ = State::Name;
        attribute_[0] = Lower(c);
        attributeLength_ = 1;
      }
      break;
    case State::BeforeValue:
      if (c == '"' || c == '\'') {
        state_ = State::Quoted;
        quote_ = c;
        valueStart_ = i_ + 1;
      } else if (c == '>') {
        EndOfTag();
      } else if (!IsBlank(c)) {
        state_ = State::Unquoted;
        quote_ = '\0';
        valueStart_ = i_;
      }
      break;
    case State::Quoted:
      if (c == quote_) state_ = State::BeforeName;
      break;
    case State::Unquoted:
      if (IsBlank(c)) {
        state_ = State::BeforeName;
      } else if (c == '>') {
        EndOfTag();
      }
      break;
    case State::EndTag:
    case State::Declaration:
      if (c == '>') state_ = State::Data;
      break;
    case State::Raw:
      if (RawEndAt(i_)) {
        state_ = State::EndTag;
        i_ += 2;
        return;
      }
      break;
    case State::Comment:
      if (c == '-' && i_ + 2 < t_.size() && t_[i_ + 1] == '-' && t_[i_ + 2] == '>') {
        state_ = State::Data;
        i_ += 3;
        return;
      }
      break;
  }
  ++i_;
}

}  // namespace orv::page
