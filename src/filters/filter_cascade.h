#pragma once

namespace Filters::Impl::Algorithms {

// One recursive section of an IIR filter, in direct form II: a single delay
// line shared by the feedback and the feed-forward path. The leading
// coefficients of numerator and denominator are always 1 and not stored.
class IFilterCascade {
public:
    virtual ~IFilterCascade() = default;
    virtual double Filter(double x) = 0;
    // Runs the section over `count` samples in place. Gives exactly the values
    // of calling Filter on each sample in turn; it exists so that a block of
    // samples costs one virtual call per section instead of one per sample.
    virtual void Filter(double* values, int count) = 0;
    virtual void Reset() = 0;
};

// First-order section: H(z) = (1 + b1 z^-1) / (1 + a1 z^-1).
class HalfFilterCascade final : public IFilterCascade {
public:
    HalfFilterCascade(double numerator1, double denominator1) : a1(denominator1), b1(numerator1) {}

    double Filter(double x) override { return step(x, a1, b1, w1); }
    void Filter(double* values, int count) override;
    void Reset() override { w1 = 0.0; }

    double feedback1() const { return a1; }
    double feedforward1() const { return b1; }

private:
    // w = x - a1*w1;  y = w + b1*w1 (old w1);  w1 := w
    // The state is passed in so the block form can keep it in a register.
    static double step(double x, double a1, double b1, double& w1) {
        const double w = x - a1 * w1;
        const double y = w + b1 * w1;
        w1 = w;
        return y;
    }

    double w1 = 0.0;
    double a1;
    double b1;
};

// Second-order section:
// H(z) = (1 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
class FullfilterCascade final : public IFilterCascade {
public:
    FullfilterCascade(double numerator1, double numerator2, double denominator1, double denominator2)
        : a2(denominator2), b2(numerator2), a1(denominator1), b1(numerator1) {}

    double Filter(double x) override { return step(x, a1, a2, b1, b2, w1, w2); }
    void Filter(double* values, int count) override;
    void Reset() override { w1 = 0.0; w2 = 0.0; }

    double feedback1() const { return a1; }
    double feedback2() const { return a2; }
    double feedforward1() const { return b1; }
    double feedforward2() const { return b2; }

private:
    // w = x - (a2*w2 + a1*w1);  y = w + (b2*w2 + b1*w1) (old states);
    // w2 := w1;  w1 := w.  The grouping of products and sums is part of the
    // result: outputs are reproducible bit for bit.
    static double step(double x, double a1, double a2, double b1, double b2, double& w1, double& w2) {
        const double w = x - (a2 * w2 + a1 * w1);
        const double y = w + (b2 * w2 + b1 * w1);
        w2 = w1;
        w1 = w;
        return y;
    }

    double w2 = 0.0;
    double a2;
    double b2;
    double w1 = 0.0;
    double a1;
    double b1;
};

} // namespace Filters::Impl::Algorithms
