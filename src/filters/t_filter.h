#pragma once

#include <memory>
#include <string>

#include "filters/i_t_filter.h"
#include "filters/iir_filter.h"
#include "kalo_artifacts/filters.h"

namespace Filters::Impl {

// A filter built from a coefficient text (or from a catalogue entry). It
// keeps its own copy of that creation text so that a copy of the filter (the
// one a list makes when the filter is added to it) can be built again from it.
class TFilter final : public ITFilter {
public:
    explicit TFilter(const char* creationText);
    // The filter of the catalogue entry that the record names (kind, frequency
    // and rate make a name such as "BP_1p75_500"). Throws std::runtime_error
    // "Filter with params does not exist!" when the catalogue has no such
    // entry. The creation text is a copy of the entry's stored text.
    explicit TFilter(_FilterParam param);
    // A copy is built afresh from the creation text: new identity, zero delay
    // states, and none of the coefficients given later through SetParams.
    TFilter(const TFilter& other);
    TFilter& operator=(const TFilter&) = delete;

    double Filter(double x) override;
    void Filter(double* values, int count) override;
    void ClearParams() override;
    void SetParams(const char* text) override;
    void Reset() override;
    int getID() const override { return id; }

    const std::string& creationText() const { return text; }
    const Algorithms::IirFilter& iir() const { return *filter; }

    static std::unique_ptr<Algorithms::IirFilter> Create(const char* text);
    // The coefficient-text parser: the sections in text order; writes the
    // gain into K when the text has a gain line and leaves K alone otherwise.
    // Throws std::logic_error for a null text; nothing else is an error.
    static Algorithms::Sections CreateCascades(const char* text, double& K);
    // Stores the values of one coefficient line into the six slots from
    // `index` on and advances `index`. Values that would land past slot 5 are
    // dropped.
    static void CreateTerm(std::string line, double* slots, int& index);
    // The frequency part of a catalogue name: six decimals with "p" for the
    // point and the trailing zeros removed (1.75 gives "1p75").
    static std::string convertFreqToString(double frequency);
    // A random identity in 1000..9999, drawn from the system's entropy source.
    static int generate_guid();

private:
    int id;
    std::string text;
    std::unique_ptr<Algorithms::IirFilter> filter;
};

} // namespace Filters::Impl
