// Records in the other byte order sent out in pieces: the bytes written are
// those of the whole-record reversal, whatever the layout, and the signature
// stamp lands after the reversal as it does there.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "avf.h"
#include "flipout.h"
#include "tempfile.h"
#include "toolio.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Case {
  const char *name;
  std::size_t len;
  int data_off, data_size, wt_off, time_off;
  bool pieces;
};

TEST(FlipOut, PiecesGiveTheWholeRecordReversal) {
  const std::size_t big = 3 * toolio::FLIP_PIECE + 100;
  const Case cases[] = {
      {"aligned", big, 96, static_cast<int>(big - 96 - 8), 88, 80, true},
      {"odd data offset", big, 97, static_cast<int>(big - 97 - 1), 88, 80, true},
      {"data size not whole words", big, 100, 1001 * 4 + 3, 80, 84, true},
      {"short record", 4096, 96, 4000, 88, 80, false},
      {"weight inside the data", big, 96, 4000, 200, 80, false},
      {"time inside the data", big, 96, 4000, 88, 3000, false},
      {"data over the signature", big, 8, 4000, 5000, 5008, false},
      {"data beyond the record", big, 96, static_cast<int>(big), 88, 80, false},
      {"negative data size", big, 96, -8, 88, 80, false},
  };
  for (const Case &c : cases) {
    AvfHdr lh{};
    lh.data_off = c.data_off;
    lh.data_size = c.data_size;
    lh.wt_off = c.wt_off;
    lh.time_off = c.time_off;
    EXPECT_EQ(c.pieces, toolio::flips_in_pieces(lh, c.len)) << c.name;

    Bytes rec(c.len);
    for (std::size_t i = 0; i < rec.size(); ++i) rec[i] = static_cast<unsigned char>(i * 131 + (i >> 8));
    Bytes want = rec;
    flipData(want.data(), want.size(), &lh);
    update_signature(want.data(), 7, 11);

    fixture::TempFile out;
    {
      fixture::File f = out.open("wb");
      ASSERT_TRUE(f);
      toolio::RunWriter w(f.get());
      EXPECT_TRUE(toolio::write_flipped(w, rec.data(), rec.size(), lh, [&] { update_signature(rec.data(), 7, 11); }))
          << c.name;
      EXPECT_TRUE(w.flush());
    }
    EXPECT_EQ(want, out.read()) << c.name;
    EXPECT_EQ(want, rec) << c.name; // the record is left as it went out
  }
}

} // namespace
