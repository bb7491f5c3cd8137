// The argument cursor: stepping through words and characters and taking value texts.
#include "opt_test_support.h"

#include <cstdlib>
#include <string>
#include <vector>

using opttest::slurp;

namespace {

struct Words {
    explicit Words(std::vector<std::string> w) : words(std::move(w))
    {
        for (auto &s : words)
            ptrs.push_back(s.data());
        ptrs.push_back(nullptr);
    }
    std::vector<std::string> words;
    std::vector<char *> ptrs;
};

struct AgFree {
    void operator()(ARGVECTOR *a) const { ag_free(a); }
};
using Cursor = std::unique_ptr<ARGVECTOR, AgFree>;

std::string str(const char *s) { return s ? s : "(null)"; }

TEST(OptCursor, ValueTextIsTheRestOfTheWordOrTheNextWord)
{
    Words w({"-m5", "-m", "7", "-i", "", "x"});
    Cursor ag{ag_new(static_cast<int>(w.words.size()), w.ptrs.data())};
    EXPECT_EQ(ag_c_advance(ag.get()), '-');
    EXPECT_EQ(ag_c_advance(ag.get()), 'm');
    EXPECT_EQ(str(ag_s_advance(ag.get())), "5");  // rest of the same word
    EXPECT_EQ(ag_w_number(ag.get()), 1);
    ag_c_advance(ag.get());
    ag_c_advance(ag.get());
    EXPECT_TRUE(ag_eow(ag.get()));
    EXPECT_EQ(str(ag_s_advance(ag.get())), "7");  // at a word end: the whole next word
    ag_c_advance(ag.get());
    ag_c_advance(ag.get());
    EXPECT_EQ(ag_s_advance(ag.get()), nullptr);  // next word empty: stepped over, no value
    EXPECT_EQ(ag_w_number(ag.get()), 5);
    EXPECT_EQ(ag_c(ag.get()), 'x');
    EXPECT_EQ(str(argnext(ag.get())), "x");
    EXPECT_TRUE(ag_end(ag.get()));
    EXPECT_EQ(ag_s_advance(ag.get()), nullptr);
    EXPECT_EQ(str(argnext(ag.get())), "");
    EXPECT_EQ(ag_w_number(ag.get()), 6);  // never beyond the count
    EXPECT_EQ(ag_argc(ag.get()), 0);
}

TEST(OptCursor, MissingValueAtTheLastWordEndsTheCursor)
{
    Words w({"-m"});
    Cursor ag{ag_new(1, w.ptrs.data())};
    ag_c_advance(ag.get());
    ag_c_advance(ag.get());
    EXPECT_TRUE(ag_end(ag.get()));
    EXPECT_EQ(ag_s_advance(ag.get()), nullptr);
    EXPECT_EQ(ag_w_number(ag.get()), 1);
    EXPECT_EQ(ag_c(ag.get()), '\0');
    EXPECT_EQ(ag_c_advance(ag.get()), '\0');
    EXPECT_EQ(ag_s(ag.get()), nullptr);
}

TEST(OptCursor, BackspaceCrossesWordsButNeverPassesTheStart)
{
    Words w({"ab", "", "cd"});
    Cursor ag{ag_new(3, w.ptrs.data())};
    ag_w_advance(ag.get());
    ag_w_advance(ag.get());
    ag_backspace(ag.get());  // into the empty word
    EXPECT_EQ(ag_w_number(ag.get()), 1);
    EXPECT_EQ(ag->ic, 0);
    ag_backspace(ag.get());  // to the last character of "ab"
    EXPECT_EQ(ag_w_number(ag.get()), 0);
    EXPECT_EQ(ag_c(ag.get()), 'b');
    ag_backspace(ag.get());
    ag_backspace(ag.get());
    EXPECT_EQ(ag->iw, 0);
    EXPECT_EQ(ag->ic, 0);
    EXPECT_EQ(ag_c(ag.get()), 'a');
}

TEST(OptCursor, EndAndEndOfWordAndPeeks)
{
    Words w({"ab", "c"});
    Cursor ag{ag_new(2, w.ptrs.data())};
    EXPECT_FALSE(ag_eow(ag.get()));
    EXPECT_EQ(ag_c_next(ag.get()), 'b');
    EXPECT_EQ(str(ag_s_next(ag.get())), "b");
    ag_c_advance(ag.get());
    EXPECT_EQ(ag_c_next(ag.get()), '\0');
    EXPECT_EQ(ag_cnn_next(ag.get()), 'c');
    EXPECT_EQ(str(ag_s_next(ag.get())), "c");
    ag_c_advance(ag.get());
    EXPECT_TRUE(ag_eow(ag.get()));
    EXPECT_FALSE(ag_end(ag.get()));
    ag_w_advance(ag.get());
    ag_c_advance(ag.get());
    EXPECT_TRUE(ag_end(ag.get()));
    ag_backword(ag.get());
    EXPECT_EQ(ag_w_number(ag.get()), 0);
    ag_reset(ag.get());
    EXPECT_EQ(ag_c(ag.get()), 'a');
    ag_clear(ag.get());
    EXPECT_TRUE(ag_end(ag.get()));

    Cursor none{ag_new(0, nullptr)};
    EXPECT_TRUE(ag_end(none.get()));
    EXPECT_TRUE(ag_end(nullptr));
    EXPECT_EQ(ag_c_advance(nullptr), '\0');
}

TEST(OptCursor, PrependArgv0GivesATerminatedArrayOfTheRemainingWords)
{
    Words w({"a", "b", "c"});
    Cursor ag{ag_new(3, w.ptrs.data())};
    ag_w_advance(ag.get());
    char prog[] = "prog";
    ARGVECTOR *p = ag_prepend_argv0(ag.get(), prog);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->c, 3);
    EXPECT_EQ(p->v[0], prog);
    EXPECT_EQ(p->v[1], w.ptrs[1]);  // shared, not copied
    EXPECT_EQ(p->v[2], w.ptrs[2]);
    EXPECT_EQ(p->v[3], nullptr);
    EXPECT_EQ(p->iw, 0);
    std::free(p->v);
    ag_free(p);
}

TEST(OptCursor, CopyIsDeepAndFprintShowsWordsAndPosition)
{
    Words w({"one", "two"});
    Cursor ag{ag_new(2, w.ptrs.data())};
    ag_c_advance(ag.get());
    ARGVECTOR *copy = ag_copy(ag.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->v[0], w.ptrs[0]);
    EXPECT_STREQ(copy->v[1], "two");
    EXPECT_EQ(copy->ic, 0);

    FILE *f = std::tmpfile();
    ag_fprint(f, ag.get());
    ag_fprint(f, nullptr);
    EXPECT_EQ(slurp(f), "[one][two], <0> <1>\nag=<nul>\n");
    std::fclose(f);
    ag_freeall(copy);
}

}  // namespace
