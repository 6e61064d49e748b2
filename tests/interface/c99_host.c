/* A host written in plain C99: it includes every public header and uses the
 * library through its exported functions only. Built with -std=c99
 * -pedantic-errors so the headers cannot drift into C++. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "kalo_artifacts.h"

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

static void filters(void) {
    bool error = true;
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, &error);
    CHECK(filter != NULL);
    CHECK(!error);

    /* The first output of an impulse is the text's gain. */
    double first = TFilter_Filter(filter, 1.0, &error);
    CHECK(!error);
    CHECK(first == 2.863530017091789e-02);

    double block[250];
    int i;
    for (i = 0; i < 250; ++i)
        block[i] = sin(2.0 * 3.141592653589793 * 10.0 * i / 250.0);
    TFilter_Filter_array(filter, block, 250, &error);
    CHECK(!error);

    TFilterListHandle* list = create_TFilterList(&error);
    CHECK(list != NULL && !error);
    TFilterList_AddFilter(list, filter, &error);
    CHECK(!error);
    delete_TFilter(filter, &error);
    CHECK(!error);
    /* The list holds its own copy, built afresh: its first output is K again. */
    CHECK(TFilterList_Filter(list, 1.0, &error) == 2.863530017091789e-02);
    CHECK(!error);
    delete_TFilterList(list, &error);
    CHECK(!error);

    /* A null handle fails without crashing. */
    CHECK(TFilter_Filter(NULL, 1.0, &error) == 0.0);
    CHECK(error);
}

static void detector(void) {
    _ArtifactSetting settings = {250, 25, 250};
    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(1, settings, &status);
    CHECK(detector != NULL);
    CHECK(status.success && status.error_code == 0);

    double window[250];
    int i;
    for (i = 0; i < 250; ++i)
        window[i] = 0.0; /* a flat line: every sample too small */
    bool artifacted = false;
    int quality = -1;
    status = ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, window, 250, false);
    CHECK(status.success);
    CHECK(artifacted);

    _ArtifactInfo info;
    status = ArtifactsMathReadArtifactInfo(detector, &info);
    CHECK(status.success);
    CHECK(info.position == 10 && info.is_start && info.type == 1);

    int size = 0;
    status = ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    CHECK(status.success && size == 1);
    _ArtifactInfo records[1];
    status = ArtifactsMathReadArtifactInfoArr(detector, records, &size);
    CHECK(status.success && size == 1 && records[0].type == 1);

    status = freeArtifactsMath(detector);
    CHECK(status.success);
    status = freeArtifactsMath(NULL);
    CHECK(!status.success && status.error_code == 1);
    CHECK(strcmp(status.error_msg, "ArtifactMAthLib pointer is null!") == 0);
}

/* The preinstalled catalogue: every listed record must give a filter. */
static void catalogue(void) {
    bool error = true;
    int count = 0;
    get_preinstalled_filter_count(&count, &error);
    CHECK(!error);
    CHECK(count == 151);
    if (count != 151)
        return;

    _FilterParam list[152];
    list[151].sampling_rate = -1;
    get_preinstalled_filter_list(list, &error);
    CHECK(!error);
    CHECK(list[151].sampling_rate == -1);
    CHECK(list[0].filter_type == BP && list[0].sampling_rate == 500 && list[0].frequency == 11.0);
    CHECK(list[150].filter_type == LP && list[150].sampling_rate == 250 && list[150].frequency == 9.0);

    int i;
    int created = 0;
    for (i = 0; i < count; ++i) {
        error = true;
        TFilterHandle* filter = create_TFilter_by_param(list[i], &error);
        CHECK(filter != NULL);
        CHECK(!error);
        if (filter == NULL)
            continue;
        ++created;
        /* The first output of an impulse is the gain: finite and non-zero. */
        double first = TFilter_Filter(filter, 1.0, &error);
        CHECK(!error && isfinite(first) && first != 0.0);
        delete_TFilter(filter, &error);
        CHECK(!error);
    }
    CHECK(created == 151);

    _FilterParam missing = {LP, 250, 31.5};
    error = false;
    CHECK(create_TFilter_by_param(missing, &error) == NULL);
    CHECK(error);
    get_preinstalled_filter_count(NULL, &error);
    CHECK(error);
    error = false;
    get_preinstalled_filter_list(NULL, &error);
    CHECK(error);
}

int main(void) {
    filters();
    detector();
    catalogue();
    if (failures == 0)
        printf("C99 host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
