// Filling a keyword descriptor table, with its capacity check.
#ifndef AVF_KEYTABLE_H
#define AVF_KEYTABLE_H

#include <cstdio>

#include "avf.h"

namespace avf_text {

class KeyTable {
public:
  explicit KeyTable(KeyType *keys) : keys_(keys) {}

  // Appends one descriptor; false (after the message) once the table is full.
  bool add(const char *key, char type, void *value) {
    if (n_ >= MAX_KEYS) {
      std::fprintf(stderr, "%s MAX_KEYS exceeded\n", "avfsub");
      return false;
    }
    KeyType &k = keys_[n_++];
    std::snprintf(k.key, sizeof k.key, "%s", key);
    k.type = type;
    k.value = value;
    k.found = 0;
    return true;
  }
  int count() const { return n_; }

private:
  KeyType *keys_;
  int n_ = 0;
};

} // namespace avf_text

#endif
