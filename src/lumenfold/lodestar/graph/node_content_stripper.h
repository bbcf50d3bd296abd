#pragma once
// A streaming pre-filter for information graph documents. File nodes carry up
// to 24 000 characters of text each, so most of a large graph's bytes are
// "content" strings that the server never keeps. This filter copies the
// document text piece by piece and writes each node's "content" string as
// "" after checking it is a well-formed JSON string, so the JSON parser that
// follows sees a document of a few megabytes instead of hundreds, and the
// file texts are never held in memory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::lodestar {

class NodeContentStripper {
 public:
  // Appends the filtered form of the next piece of the document to the
  // output. Pieces may split the text anywhere.
  void feed(std::string_view piece);
  // Room for `bytes` of output, to avoid repeated growth.
  void reserve(size_t bytes) { out_.reserve(bytes); }
  // Ends the document. Returns the filtered text, or nullopt when a
  // skipped string was malformed or the text ended inside one. The output
  // is valid JSON exactly when the input was (only complete, well-formed
  // string values are replaced), so the parser still judges the rest.
  std::optional<std::string> finish();

 private:
  enum class State { kStructure, kString, kSkippedString };

  void step_structure(std::string_view piece, size_t& i);
  void step_string(std::string_view piece, size_t& i);
  void step_skipped(std::string_view piece, size_t& i);
  bool check_skipped_byte(unsigned char c);
  bool take_escaped_unit(uint32_t unit);
  bool in_sequence() const { return skip_escape_ || hex_left_ > 0 || utf8_left_ > 0 || want_low_surrogate_; }
  void end_key();

  std::string out_;
  State state_ = State::kStructure;
  bool at_start_ = true;  // a byte-order mark is only allowed first
  size_t bom_matched_ = 0;

  // Structure: one entry per open container.
  enum class Container : uint8_t { kObject, kArray, kNodesArray, kNodeObject };
  std::vector<Container> stack_;
  bool expect_key_ = false;
  bool next_array_is_nodes_ = false;
  bool next_string_is_skipped_ = false;
  bool pending_blank_ = false;

  // The string being copied.
  bool in_key_ = false;
  bool escape_ = false;
  std::string key_;  // raw bytes of the key, up to kMaxKeyBytes
  bool key_too_long_ = false;

  // The string being skipped.
  bool failed_ = false;
  bool skip_escape_ = false;
  int hex_left_ = 0;
  uint32_t hex_value_ = 0;
  // A \u escape of a high surrogate must be followed by one of a low one.
  bool want_low_surrogate_ = false;
  int utf8_left_ = 0;
  unsigned char utf8_lo_ = 0x80;
  unsigned char utf8_hi_ = 0xBF;
};

// Reads the information graph at `path` in pieces through the filter.
// nullopt when the file cannot be read or a node's content is malformed.
std::optional<std::string> read_graph_without_contents(const std::filesystem::path& path);

}  // namespace lumenfold::lodestar
