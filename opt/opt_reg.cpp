// The registry: registration, setters and lookups, typed values (storing, rendering, tags),
// array options, assignment from a cursor and the short, long and positional option parsers.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

Option_t *optlist = nullptr;
int opt_nreg = 0;
char opt_array_delim = ',';
int opt_exit_number = 0;

namespace {

constexpr std::size_t cstring_len = 80;  // the fixed width of an OPT_CSTRING variable

// What an array option owns besides its entry: the string holder and the descriptor.
struct ArrayAux {
    char *holder = nullptr;
    OptArray_t desc{};
};

std::vector<Option_t> &entries()
{
    static std::vector<Option_t> list;
    return list;
}

std::vector<std::unique_ptr<ArrayAux>> &arrays()
{
    static std::vector<std::unique_ptr<ArrayAux>> list;
    return list;
}

void publish()
{
    optlist = entries().empty() ? nullptr : entries().data();
    opt_nreg = static_cast<int>(entries().size());
}

bool valid(int i) { return i >= 0 && i < static_cast<int>(entries().size()); }

template <class T>
T load(const void *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(void *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// double to float without overflow: out-of-range values become infinities.
float narrow_float(double d)
{
    if (std::isfinite(d) && d > FLT_MAX)
        return HUGE_VALF;
    if (std::isfinite(d) && d < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(d);
}

void cstring_warning()
{
    opt_warning("OPT_CSTRING is deprecated...you should use OPT_STRING instead");
    opt_warning("If this warning message is a problem, then recompile the source");
    opt_warning("with the symbol OPT_DEPRECATED_OK defined.");
}

void undelim_warning()
{
    opt_warning("OPT_UNDELIM and OPT_UNDELIMC are deprecated...");
    opt_warning("You should use positional options instead.");
    opt_warning("If this warning message is a problem, then recompile the source");
    opt_warning("with the symbol OPT_DEPRECATED_OK defined.");
}

// Bounded copy into an 80-byte character array: NUL-filled when shorter, no terminator when
// the text has 80 characters or more.
void cstring_copy(void *dst, const char *text)
{
    char buf[cstring_len] = {};
    const std::size_t n = strnlen(text, cstring_len);
    std::memcpy(buf, text, n);
    std::memcpy(dst, buf, cstring_len);
}

// Slot size of one array element. An OPT_CSTRING element is stored as its 80-byte character
// array, so the bounded copy always fits its slot.
std::size_t element_size(opt_TYPE type)
{
    if (type == OPT_CSTRING) {
        cstring_warning();
        return cstring_len;
    }
    return static_cast<std::size_t>(optsizeof(type));
}

bool in_enum(opt_TYPE type) { return type >= OPT_NUL && type <= OPT_UNDELIMC; }

void set_string(char **slot, const char *text)
{
    optlib::pool_release(*slot);
    *slot = optlib::pool_strdup(text);
}

}  // namespace

// ---------------------------------------------------------------- registration

int optrega(void *value, opt_TYPE type, char name, const char *longname, const char *descript)
{
    if (name != '\0' && opt_char_number(name) >= 0)
        optlib::warningf("optrega: Duplicate option name '%c'", name);
    if (longname && *longname && opt_longname_number(longname) >= 0)
        optlib::warningf("optrega: Duplicate option longname \"%s\"", longname);
    if (!value && type != OPT_NUL) {
        if (name != '\0')
            optlib::warningf("Name: -%c", name);
        if (longname)
            optlib::warningf("Name: --%s", longname);
        opt_fatal("optrega: invalid first argument=NULL\n");
    }
    opt_MODE mode = (name != '\0' || (longname && *longname)) ? OPT_DELIMITED : OPT_POSITIONAL;
    if (type == OPT_UNDELIM) {
        undelim_warning();
        type = OPT_STRING;
        mode = OPT_POSITIONAL;
    } else if (type == OPT_UNDELIMC) {
        undelim_warning();
        type = OPT_CSTRING;
        mode = OPT_POSITIONAL;
    }
    if (longname) {
        for (const char *p = longname; *p; ++p)
            if (optlib::is_ws(*p))
                optlib::fatalf("invalid longname [%s] contains whitespace\n", longname);
    }
    Option_t o{};
    o.value = value;
    o.type = type;
    o.name = name;
    o.longname = optlib::pool_strdup(longname);
    o.mode = mode;
    o.descript = optlib::pool_strdup(descript);
    o.help = nullptr;
    o.invoked = 0;
    o.hook = nullptr;
    o.array = nullptr;
    entries().push_back(o);
    publish();
    return opt_nreg - 1;
}

int optreg(void *value, opt_TYPE type, char name, const char *descript)
{
    return optrega(value, type, name, nullptr, descript);
}

int optregcb(void *value, opt_TYPE type, char name, const char *descript)
{
    return optrega(value, type, name, nullptr, descript);
}

int optregc(void *value, opt_TYPE type, char name)
{
    return optrega(value, type, name, nullptr, nullptr);
}

int optregs(void *value, opt_TYPE type, const char *longname)
{
    return optrega(value, type, '\0', longname, longname);
}

int optregp(void *value, opt_TYPE type, const char *longname, const char *descript)
{
    const int i = optrega(value, type, '\0', longname, descript);
    optmode_n(i, OPT_POSITIONAL);
    return i;
}

int optregf(void *value, opt_TYPE type, char name, const char *longname, const char *descript)
{
    const int i = optrega(value, type, name, longname, descript);
    optmode_n(i, OPT_FLEXIBLE);
    return i;
}

int optexec(const char *longname, OPT_HOOK hook, const char *descript)
{
    const int i = optrega(nullptr, OPT_NUL, '\0', longname, descript);
    opthook_n(i, hook);
    return i;
}

int optrega_array(int *size, void *value, opt_TYPE type, char name, const char *longname,
                  const char *descript)
{
    // The count and the array pointer are written by every assignment: both must exist.
    if (!size || !value) {
        if (name != '\0')
            optlib::warningf("Name: -%c", name);
        if (longname)
            optlib::warningf("Name: --%s", longname);
        opt_fatal("optrega: invalid first argument=NULL\n");
    }
    auto aux = std::make_unique<ArrayAux>();
    auto **array = static_cast<void **>(value);
    aux->holder = optarray_getstrval(*size, *array, type, opt_array_delim);
    const int i = optrega(&aux->holder, OPT_STRING, name, longname, descript);
    switch (type) {
    case OPT_INT: case OPT_SHORT: case OPT_LONG: case OPT_UINT: case OPT_USHORT:
    case OPT_ULONG: case OPT_FLOAT: case OPT_DOUBLE: case OPT_STRING:
        break;
    case OPT_CSTRING: case OPT_UNDELIMC:
        cstring_warning();
        undelim_warning();
        optlib::warningf("Undefined behavior for %s array", optstrtyp(i));
        break;
    case OPT_CHAR: case OPT_UCHAR: case OPT_TOGGLE: case OPT_BOOL: case OPT_NEGTOGGLE:
    case OPT_NEGBOOL: case OPT_INTLEVEL: case OPT_UNDELIM:
        undelim_warning();
        optlib::warningf("Undefined behavior for %s array", optstrtyp(i));
        break;
    case OPT_NUL:
        optlib::warningf("Undefined behavior for %s array", optstrtyp(i));
        break;
    default:
        opt_fatal("opt_getstrval: Undefined o-type");
    }
    aux->desc.value = array;
    aux->desc.size = size;
    aux->desc.base_type = type;
    aux->desc.delim = opt_array_delim;
    entries()[static_cast<std::size_t>(i)].array = &aux->desc;
    arrays().push_back(std::move(aux));
    return i;
}

int optreg_array(int *size, void *value, opt_TYPE type, char name, const char *descript)
{
    return optrega_array(size, value, type, name, nullptr, descript);
}

int optregcb_array(int *size, void *value, opt_TYPE type, char name, const char *descript)
{
    return optrega_array(size, value, type, name, nullptr, descript);
}

int optregc_array(int *size, void *value, opt_TYPE type, char name)
{
    return optrega_array(size, value, type, name, nullptr, nullptr);
}

int optregs_array(int *size, void *value, opt_TYPE type, const char *longname)
{
    return optrega_array(size, value, type, '\0', longname, longname);
}

int optregp_array(int *size, void *value, opt_TYPE type, const char *longname,
                  const char *descript)
{
    const int i = optrega_array(size, value, type, '\0', longname, descript);
    optmode_n(i, OPT_POSITIONAL);
    return i;
}

int optregf_array(int *size, void *value, opt_TYPE type, char name, const char *longname,
                  const char *descript)
{
    const int i = optrega_array(size, value, type, name, longname, descript);
    optmode_n(i, OPT_FLEXIBLE);
    return i;
}

// ---------------------------------------------------------------- setters and queries

void optchar_n(int i, char name)
{
    if (valid(i))
        entries()[static_cast<std::size_t>(i)].name = name;
}
void optchar(void *value, char name) { optchar_n(opt_number(value), name); }

void optlongname_n(int i, const char *longname)
{
    if (valid(i))
        set_string(&entries()[static_cast<std::size_t>(i)].longname, longname);
}
void optlongname(void *value, const char *longname) { optlongname_n(opt_number(value), longname); }

void optdescript_n(int i, const char *descript)
{
    if (valid(i))
        set_string(&entries()[static_cast<std::size_t>(i)].descript, descript);
}
void optdescript(void *value, const char *descript) { optdescript_n(opt_number(value), descript); }

void opthelp_n(int i, const char *help)
{
    if (valid(i))
        set_string(&entries()[static_cast<std::size_t>(i)].help, help);
}
void opthelp(void *value, const char *help) { opthelp_n(opt_number(value), help); }

void opthook_n(int i, OPT_HOOK hook)
{
    if (valid(i))
        entries()[static_cast<std::size_t>(i)].hook = hook;
}
void opthook(void *value, OPT_HOOK hook) { opthook_n(opt_number(value), hook); }

void optmode_n(int i, opt_MODE mode)
{
    if (!valid(i))
        return;
    if (mode > 2)
        opt_warning("optmode() was passed an invalid mode");
    entries()[static_cast<std::size_t>(i)].mode = mode;
}
void optmode(void *value, opt_MODE mode) { optmode_n(opt_number(value), mode); }

int optinvoked_n(int i) { return valid(i) ? entries()[static_cast<std::size_t>(i)].invoked : 0; }
int optinvoked(void *value) { return optinvoked_n(opt_number(value)); }

void optarraydelim_n(int i, char delim)
{
    if (!valid(i))
        return;
    Option_t &o = entries()[static_cast<std::size_t>(i)];
    OptArray_t *a = o.array;
    if (!a || a->delim == delim)
        return;
    a->delim = delim;
    if (*a->size > 0) {
        char *fresh = optarray_getstrval(*a->size, *a->value, a->base_type, delim);
        auto **holder = static_cast<char **>(o.value);
        optlib::pool_release(*holder);
        *holder = fresh;
    }
}

void optarraydelim(void *value, char delim)
{
    if (value) {
        optarraydelim_n(opt_number(value), delim);
        return;
    }
    opt_array_delim = delim;
    for (int i = 0; i < opt_nreg; ++i)
        optarraydelim_n(i, delim);
}

void optExitNumber(int n) { opt_exit_number = n; }

void opt_free()
{
    for (Option_t &o : entries()) {
        optlib::pool_release(o.longname);
        optlib::pool_release(o.help);
        optlib::pool_release(o.descript);
        if (o.array && o.type == OPT_STRING)
            optlib::pool_release(*static_cast<char **>(o.value));
    }
    entries().clear();
    arrays().clear();  // the holders and descriptors
    publish();
    opt_freestrings();
}

// ---------------------------------------------------------------- lookups

int opt_char_number(char name)
{
    if (name == '\0')
        return -1;  // NUL means "no one-letter name": it never names an entry
    for (int i = 0; i < opt_nreg; ++i)
        if (optlist[i].name == name)
            return i;
    return -1;
}

int opt_longname_number(const char *longname)
{
    if (!longname || !*longname)
        return -1;
    for (int i = 0; i < opt_nreg; ++i)
        if (optlist[i].longname && *optlist[i].longname &&
            std::strcmp(optlist[i].longname, longname) == 0)
            return i;
    return -1;
}

int opt_number(const void *value)
{
    for (int i = 0; i < opt_nreg; ++i) {
        if (optlist[i].value == value)
            return i;
        if (optlist[i].array && optlist[i].array->value == value)
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------- values

int optsizeof(opt_TYPE type)
{
    switch (type) {
    case OPT_NUL: return sizeof(int);
    case OPT_INT: return sizeof(int);
    case OPT_SHORT: return sizeof(short);
    case OPT_LONG: return sizeof(long);
    case OPT_CHAR: return 1;
    case OPT_UINT: return sizeof(unsigned int);
    case OPT_USHORT: return sizeof(unsigned short);
    case OPT_ULONG: return sizeof(unsigned long);
    case OPT_UCHAR: return 1;
    case OPT_FLOAT: return sizeof(float);
    case OPT_DOUBLE: return sizeof(double);
    case OPT_TOGGLE: case OPT_BOOL: case OPT_NEGTOGGLE: case OPT_NEGBOOL: case OPT_INTLEVEL:
        return sizeof(int);
    case OPT_STRING: return sizeof(char *);
    case OPT_CSTRING:
        cstring_warning();
        return sizeof(char *);
    default:
        opt_fatal("optsizeof: Undefined o-type");
    }
}

void opt_setvalue(void *value, opt_TYPE type, const char *text)
{
    const char *t = text ? text : "";
    if (!value)
        return;  // nowhere to store
    switch (type) {
    case OPT_INT: store(value, static_cast<int>(opt_atoi(t))); break;
    case OPT_LONG: store(value, opt_atoi(t)); break;
    case OPT_SHORT: store(value, static_cast<short>(opt_atoi(t))); break;
    case OPT_UINT: store(value, static_cast<unsigned int>(opt_atou(t))); break;
    case OPT_ULONG: store(value, opt_atou(t)); break;
    case OPT_USHORT: store(value, static_cast<unsigned short>(opt_atou(t))); break;
    case OPT_CHAR: case OPT_UCHAR: store(value, t[0]); break;
    case OPT_FLOAT: store(value, narrow_float(opt_atof(t))); break;
    case OPT_DOUBLE: store(value, opt_atof(t)); break;
    case OPT_STRING: store(value, optlib::pool_strdup(t)); break;
    case OPT_CSTRING:
        cstring_warning();
        cstring_copy(value, t);
        break;
    default:
        opt_fatal("Invalid type");
    }
}

char *opt_getstrval(void *value, opt_TYPE type)
{
    static char buf[80];
    constexpr std::size_t n = sizeof buf;
    buf[0] = '\0';
    if (!in_enum(type) || type == OPT_UNDELIM || type == OPT_UNDELIMC)
        opt_fatal("opt_getstrval: Undefined o-type");
    if (type == OPT_NUL || !value)
        return buf;
    switch (type) {
    case OPT_INT: std::snprintf(buf, n, "%d", load<int>(value)); break;
    case OPT_SHORT: std::snprintf(buf, n, "%d", load<short>(value)); break;
    case OPT_LONG: std::snprintf(buf, n, "%ld", load<long>(value)); break;
    case OPT_CHAR: std::snprintf(buf, n, "%c", load<char>(value)); break;
    case OPT_UINT: std::snprintf(buf, n, "%u", load<unsigned int>(value)); break;
    case OPT_USHORT: std::snprintf(buf, n, "%u", load<unsigned short>(value)); break;
    case OPT_ULONG: std::snprintf(buf, n, "%lu", load<unsigned long>(value)); break;
    case OPT_UCHAR: std::snprintf(buf, n, "%c", load<unsigned char>(value)); break;
    case OPT_FLOAT: std::snprintf(buf, n, "%g", static_cast<double>(load<float>(value))); break;
    case OPT_DOUBLE: std::snprintf(buf, n, "%g", load<double>(value)); break;
    case OPT_TOGGLE: case OPT_BOOL:
        std::snprintf(buf, n, "%s", load<int>(value) == 1 ? "+" : "-");
        break;
    case OPT_NEGTOGGLE: case OPT_NEGBOOL:
        std::snprintf(buf, n, "%s", load<int>(value) == 1 ? "-" : "+");
        break;
    case OPT_INTLEVEL: {
        const int v = load<int>(value);
        if (v < 0)
            optlib::fatalf("Invalid (negative) value [v=%d] for OPT_INTLEVEL", v);
        if (v > 9)
            optlib::warningf("Cannot set string for OPT_INTLEVEL v=%d > 9", v);  // renders ""
        else
            std::snprintf(buf, n, "%1d", v);
        break;
    }
    case OPT_STRING: {
        const char *s = load<char *>(value);
        std::snprintf(buf, n, "\"%s\"", s ? s : "");
        break;
    }
    case OPT_CSTRING: {
        cstring_warning();
        // The array may hold 80 characters without a terminator: read no further.
        const char *s = static_cast<const char *>(value);
        std::snprintf(buf, n, "\"%.*s\"", static_cast<int>(strnlen(s, cstring_len)), s);
        break;
    }
    default:
        break;
    }
    return buf;
}

char *optstrval(int i)
{
    if (!valid(i)) {
        static char none[1] = {'\0'};
        return none;
    }
    const Option_t &o = entries()[static_cast<std::size_t>(i)];
    return opt_getstrval(o.value, o.type);
}

char *optstrtyp(int i)
{
    static char buf[80];
    buf[0] = '\0';
    if (!valid(i))
        return buf;
    const Option_t &o = entries()[static_cast<std::size_t>(i)];
    const opt_TYPE type = o.array ? o.array->base_type : o.type;
    static const char *const tags[] = {
        "<NUL>",   "<INT>",    "<SHORT>",  "<LONG>",  "<CHAR>",   "<UINT>",      "<USHORT>",
        "<ULONG>", "<UCHAR>",  "<FLOAT>",  "<DOUBLE>", "<TOGGLE>", "<BOOL>",     "<NEGTOGGLE>",
        "<NEGBOOL>", "<INTLEVEL>", "<STRING>", nullptr, "<STRING>", nullptr};
    if (!in_enum(type) || !tags[type])
        opt_fatal("usage: undefined o-type");
    std::string tag = tags[type];
    if (o.array)
        tag.insert(tag.size() - 1, " ARRAY");
    std::snprintf(buf, sizeof buf, "%s", tag.c_str());
    return buf;
}

char *optarray_getstrval(int size, void *array, opt_TYPE type, char delim)
{
    if (size <= 0 || !array)
        return nullptr;
    const std::size_t step = element_size(type);
    std::string joined;
    for (int k = 0; k < size; ++k) {
        if (k > 0)
            joined += delim;
        joined += opt_getstrval(static_cast<char *>(array) + static_cast<std::size_t>(k) * step, type);
    }
    return optlib::pool_strdup(joined.c_str());
}

void optarray_action(OptArray_t *a, const char *text)
{
    if (!a || !a->value || !a->size)
        return;
    const std::string copy = text ? text : "";
    // Only a block the library built is released; an initial array stays the program's.
    optlib::pool_release(*a->value);
    *a->value = nullptr;
    *a->size = 0;
    if (copy.empty())
        return;
    const std::size_t step = element_size(a->base_type);
    std::vector<unsigned char> block;
    int count = 0;
    std::size_t pos = 0;
    while (pos < copy.size()) {
        std::size_t end = copy.find(a->delim, pos);
        if (end == std::string::npos)
            end = copy.size();
        const std::string element = copy.substr(pos, end - pos);
        ++count;
        block.resize(static_cast<std::size_t>(count) * step);
        opt_setvalue(block.data() + (static_cast<std::size_t>(count) - 1) * step, a->base_type,
                     element.c_str());
        pos = end + 1;
    }
    void *out = optlib::pool_alloc(block.size());
    std::memcpy(out, block.data(), block.size());
    *a->value = out;
    *a->size = count;
}

// ---------------------------------------------------------------- assignment

int opt_action(int i, ARGVECTOR *ag)
{
    if (!valid(i)) {
        optlib::warningf("opt_action: invalid number %d\n", i);
        return 0;
    }
    // A hook may register options and move the registry: always index afresh.
    auto entry = [i]() -> Option_t & { return entries()[static_cast<std::size_t>(i)]; };
    void *value = entry().value;
    const opt_TYPE type = entry().type;
    switch (type) {
    case OPT_NUL:
        break;
    case OPT_CHAR: case OPT_UCHAR:
        store(value, ag_c_advance(ag));
        break;
    case OPT_TOGGLE: case OPT_BOOL: case OPT_NEGTOGGLE: case OPT_NEGBOOL: {
        const int on = (type == OPT_TOGGLE || type == OPT_BOOL) ? 1 : 0;
        const char c = ag_c(ag);
        if (c == '+' || c == '1') {
            store(value, on);
            ag_c_advance(ag);
        } else if (c == '-' || c == '0') {
            store(value, 1 - on);
            ag_c_advance(ag);
        } else if (type == OPT_BOOL || type == OPT_NEGBOOL) {
            store(value, on);
        } else {
            store(value, load<int>(value) == 1 ? 0 : 1);
        }
        break;
    }
    case OPT_INTLEVEL: {
        int v = load<int>(value);
        if (v < INT_MAX)
            ++v;
        const char c = ag_c(ag);
        if (c >= '0' && c <= '9') {
            v = c - '0';
            ag_c_advance(ag);
        } else if (c == '+') {
            ag_c_advance(ag);
        } else if (c == '-') {
            v = 0;
            ag_c_advance(ag);
        }
        store(value, v);
        break;
    }
    case OPT_STRING: {
        const char *text = argnext(ag);
        auto **slot = static_cast<char **>(value);
        if (entry().invoked > 0)
            optlib::pool_release(*slot);  // only a string the library stored there
        *slot = optlib::pool_strdup(text);
        if (entry().array)
            optarray_action(entry().array, text);
        break;
    }
    case OPT_CSTRING:
        cstring_warning();
        cstring_copy(value, argnext(ag));
        break;
    case OPT_INT: case OPT_SHORT: case OPT_LONG: case OPT_UINT: case OPT_USHORT:
    case OPT_ULONG: case OPT_FLOAT: case OPT_DOUBLE:
        opt_setvalue(value, type, argnext(ag));
        break;
    default:
        opt_fatal("opt_delim: don't know this type");
    }
    if (entry().invoked < INT_MAX)
        ++entry().invoked;
    if (OPT_HOOK hook = entry().hook) {
        switch (hook(value)) {
        case 2:
            if (!opt_menuflag)
                std::exit(opt_exit_number);
            break;
        case 3:
            opt_quit();
        case 4:
            std::exit(opt_exit_number);
        default:
            break;
        }
    }
    return 1;
}

// ---------------------------------------------------------------- option parsers

int opt_parse_delim(ARGVECTOR *ag)
{
    const char c = ag_c_advance(ag);
    const int i = opt_char_number(c);
    if (i < 0) {
        optlib::warningf("%c not a registered option name\n", c);
        return 0;
    }
    return opt_action(i, ag);
}

int opt_parse_longdelim(ARGVECTOR *ag)
{
    const char *rest = ag_s(ag);
    if (!rest)
        return 0;
    const std::string name(rest, std::strcspn(rest, "="));
    for (std::size_t k = 0; k < name.size(); ++k)
        ag_c_advance(ag);
    if (ag_c(ag) == '=')
        ag_c_advance(ag);
    const int i = opt_longname_number(name.c_str());
    if (i < 0) {
        optlib::warningf("%s not a registered option name\n", name.c_str());
        return 0;
    }
    return opt_action(i, ag);
}

int opt_parse_positional(ARGVECTOR *ag)
{
    for (int i = 0; i < opt_nreg; ++i)
        if (optlist[i].mode != OPT_DELIMITED && optlist[i].invoked == 0)
            return opt_action(i, ag);
    return 0;
}
