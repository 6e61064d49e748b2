#include "record_layout.h"

#include "kalo_artifacts.h"

#define KALO_SIZE_ENTRY(type) {"sizeof " #type, sizeof(type)},
#define KALO_OFFSET_ENTRY(type, field) {"offsetof " #type "." #field, offsetof(type, field)},

static const KaloLayoutEntry layout[] = {KALO_RECORD_LAYOUT(KALO_SIZE_ENTRY, KALO_OFFSET_ENTRY)};

const KaloLayoutEntry* kalo_c_record_layout(size_t* count) {
    *count = sizeof(layout) / sizeof(layout[0]);
    return layout;
}
