// The argument cursor: walks an array of words character by character.
// Every operation accepts a null cursor and never reads outside the words: the word index stays
// within 0..c, the character index within the current word, and a null word reads as "".
#include "opt/opt.h"

#include <cstdlib>
#include <cstring>

namespace {

char empty_word[1] = {'\0'};

bool past(const ARGVECTOR *ag) { return ag->iw >= ag->c; }

char *word_at(const ARGVECTOR *ag, int i)
{
    if (i < 0 || i >= ag->c || !ag->v || !ag->v[i])
        return empty_word;
    return ag->v[i];
}

int cur_len(const ARGVECTOR *ag) { return static_cast<int>(std::strlen(word_at(ag, ag->iw))); }

ARGVECTOR *make_cursor(int argc, char **argv)
{
    auto *ag = static_cast<ARGVECTOR *>(std::malloc(sizeof(ARGVECTOR)));
    if (!ag)
        return nullptr;
    ag->v = argv;
    ag->c = (argv && argc > 0) ? argc : 0;
    ag->iw = 0;
    ag->ic = 0;
    return ag;
}

}  // namespace

ARGVECTOR *ag_new(int argc, char **argv) { return make_cursor(argc, argv); }

void ag_free(ARGVECTOR *ag) { std::free(ag); }

void ag_freeall(ARGVECTOR *ag)
{
    if (!ag)
        return;
    if (ag->v) {
        for (int i = 0; i < ag->c; ++i)
            std::free(ag->v[i]);
        std::free(ag->v);
    }
    std::free(ag);
}

ARGVECTOR *ag_prepend_argv0(ARGVECTOR *ag, char *argv0)
{
    const int rest = ag_argc(ag);
    // One slot more than the count: the array ends with a null entry, as argument vectors do.
    auto **v = static_cast<char **>(std::calloc(static_cast<std::size_t>(rest) + 2, sizeof(char *)));
    if (!v)
        return nullptr;
    v[0] = argv0;
    for (int i = 0; i < rest; ++i)
        v[i + 1] = ag->v ? ag->v[ag->iw + i] : nullptr;
    ARGVECTOR *n = make_cursor(rest + 1, v);
    if (!n)
        std::free(v);
    return n;
}

ARGVECTOR *ag_copy(ARGVECTOR *ag)
{
    if (!ag)
        return nullptr;
    auto **v = static_cast<char **>(std::calloc(static_cast<std::size_t>(ag->c) + 1, sizeof(char *)));
    if (!v)
        return nullptr;
    for (int i = 0; i < ag->c; ++i) {
        const char *w = word_at(ag, i);
        const std::size_t n = std::strlen(w) + 1;
        v[i] = static_cast<char *>(std::malloc(n));
        if (!v[i]) {
            for (int k = 0; k < i; ++k)
                std::free(v[k]);
            std::free(v);
            return nullptr;
        }
        std::memcpy(v[i], w, n);
    }
    ARGVECTOR *n = make_cursor(ag->c, v);
    if (!n) {
        for (int i = 0; i < ag->c; ++i)
            std::free(v[i]);
        std::free(v);
    }
    return n;
}

int ag_eow(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return 1;
    return ag->ic >= cur_len(ag);
}

int ag_end(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return 1;
    return ag->iw == ag->c - 1 && ag->ic >= cur_len(ag);
}

char ag_c(ARGVECTOR *ag)
{
    if (ag_eow(ag))
        return '\0';
    return word_at(ag, ag->iw)[ag->ic];
}

char ag_c_advance(ARGVECTOR *ag)
{
    if (ag_eow(ag))
        return '\0';
    return word_at(ag, ag->iw)[ag->ic++];
}

char ag_c_next(ARGVECTOR *ag)
{
    if (!ag || past(ag) || ag->ic + 1 >= cur_len(ag))
        return '\0';
    return word_at(ag, ag->iw)[ag->ic + 1];
}

char ag_cnn_next(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return '\0';
    if (ag->ic + 1 < cur_len(ag))
        return word_at(ag, ag->iw)[ag->ic + 1];
    return word_at(ag, ag->iw + 1)[0];
}

char ag_backspace(ARGVECTOR *ag)
{
    if (!ag)
        return '\0';
    if (ag->ic > 0) {
        --ag->ic;
    } else if (ag->iw > 0) {
        --ag->iw;
        const int n = cur_len(ag);
        ag->ic = n > 0 ? n - 1 : 0;
    }
    return ag_c(ag);
}

char *ag_s(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return nullptr;
    const int n = cur_len(ag);
    return word_at(ag, ag->iw) + (ag->ic < n ? ag->ic : n);
}

char *ag_s_next(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return nullptr;
    if (ag->ic + 1 < cur_len(ag))
        return word_at(ag, ag->iw) + ag->ic + 1;
    if (ag->iw + 1 < ag->c)
        return word_at(ag, ag->iw + 1);
    return nullptr;
}

char *ag_s_advance(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return nullptr;
    if (ag_eow(ag)) {
        ag_w_advance(ag);
        if (past(ag) || word_at(ag, ag->iw)[0] == '\0') {
            ag_w_advance(ag);
            return nullptr;
        }
    }
    char *s = word_at(ag, ag->iw) + ag->ic;
    ag_w_advance(ag);
    return s;
}

char *argnext(ARGVECTOR *ag)
{
    char *s = ag_s_advance(ag);
    return s ? s : empty_word;
}

int ag_w_number(ARGVECTOR *ag) { return ag ? ag->iw : 0; }

void ag_w_advance(ARGVECTOR *ag)
{
    if (!ag)
        return;
    if (ag->iw < ag->c)
        ++ag->iw;
    ag->ic = 0;
}

void ag_backword(ARGVECTOR *ag)
{
    if (!ag)
        return;
    if (ag->iw > 0)
        --ag->iw;
    ag->ic = 0;
}

void ag_reset(ARGVECTOR *ag)
{
    if (!ag)
        return;
    ag->iw = 0;
    ag->ic = 0;
}

int ag_argc(ARGVECTOR *ag)
{
    if (!ag || past(ag))
        return 0;
    return ag->c - ag->iw;
}

char **ag_argv(ARGVECTOR *ag)
{
    if (!ag || !ag->v)
        return nullptr;
    return ag->v + ag->iw;
}

void ag_clear(ARGVECTOR *ag)
{
    while (!ag_end(ag))
        argnext(ag);
}

void ag_fprint(FILE *fp, ARGVECTOR *ag)
{
    if (!ag) {
        std::fprintf(fp, "ag=<nul>\n");
        return;
    }
    for (int i = 0; i < ag->c; ++i)
        std::fprintf(fp, "[%s]", word_at(ag, i));
    std::fprintf(fp, ", <%d> <%d>\n", ag->iw, ag->ic);
}
