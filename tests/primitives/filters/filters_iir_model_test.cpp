// The biquad cascade bit for bit against a model written operation by operation from its
// definition: the taps times 1/a0, the look-ahead weights, the per-sample transposed form II, and
// the block path (feed-forward pass, first two outputs, four outputs per step, one-by-one tail, new
// delay line), in chunks of 1024, each variant and the dispatched entry, on call lengths around
// every threshold and on poles close to 1.
#include "filters_test_util.h"

using namespace filters_test;

namespace {

struct ModelBiquad
{
    float b0, b1, b2, a1, c1, c2;
    float ahead[20]; // weights of y[t-1], y[t-2], v[t], v[t+1], v[t+2] in y[t] .. y[t+3]
    float s1 = 0.0f, s2 = 0.0f;

    explicit ModelBiquad(const float* t)
    {
        const float r = 1.0f / t[3];
        b0 = t[0] * r, b1 = t[1] * r, b2 = t[2] * r, a1 = t[4] * r;
        c1 = (0.0f - r) * t[4], c2 = (0.0f - r) * t[5];
        const float h2 = c1 * c1 + c2;
        const float h3 = (h2 + c2) * c1;
        const float h4 = h2 * c2 + c1 * h3;
        const float p = c1 * c2;
        const float q2 = c2 * c2 + c1 * p;
        const float q3 = c2 * p + c1 * q2;
        const float w[20] = {c1, h2, h3, h4, c2, p, q2, q3, 1, c1, h2, h3, 0, 1, c1, h2, 0, 0, 1, c1};
        std::copy(w, w + 20, ahead);
    }
    float sample(float x)
    {
        const float y = b0 * x + s1;
        s1 = (b1 * x + s2) + c1 * y;
        s2 = b2 * x + c2 * y;
        return y;
    }
    // x and y are one array or apart; m > 4.
    void block(const float* x, float* y, int m)
    {
        std::vector<float> v(m); // v[t]: feed-forward part of output t
        for (int t = 2; t < m; ++t)
            v[t] = (b2 * x[t - 2] + b1 * x[t - 1]) + b0 * x[t];
        const float x0 = x[0], x1 = x[1], f1 = b2 * x[m - 2] + b1 * x[m - 1], f2 = b2 * x[m - 1];
        y[0] = b0 * x0 + s1;
        y[1] = ((s2 - a1 * y[0]) + b0 * x1) + b1 * x0;
        const float* Y = ahead;
        int t = 2;
        for (; t + 4 <= m; t += 4)
            for (int i = 0; i < 4; ++i)
                y[t + i] = (y[t - 2] * Y[4 + i] + y[t - 1] * Y[i]) + ((v[t] * Y[8 + i] + v[t + 1] * Y[12 + i]) +
                                                                      (v[t + 2] * Y[16 + i] + (i == 3 ? v[t + 3] : 0)));
        for (; t < m; ++t)
            y[t] = (v[t] + c2 * y[t - 2]) + c1 * y[t - 1];
        s1 = (c2 * y[m - 2] + c1 * y[m - 1]) + f1;
        s2 = c2 * y[m - 1] + f2;
    }
};

struct ModelCascade
{
    std::vector<ModelBiquad> bq;

    ModelCascade(const std::vector<float>& taps, int n)
    {
        for (int k = 0; k < n; ++k)
            bq.emplace_back(&taps[6 * k]);
    }
    int filter(const float* x, float* y, int len)
    {
        const int n = static_cast<int>(bq.size());
        for (int done = 0; done < len; done += 1024) {
            const int m = std::min(1024, len - done);
            if (m > 4 * n) {
                for (int k = 0; k < n; ++k) // biquad after biquad, the later ones in place
                    bq[k].block(k == 0 ? x + done : y + done, y + done, m);
                continue;
            }
            for (int i = 0; i < m; ++i) { // sample after sample through the whole cascade
                float v = x[done + i];
                for (auto& q : bq)
                    v = q.sample(v);
                y[done + i] = v;
            }
        }
        return 0;
    }
    std::vector<float> delayLine() const
    {
        std::vector<float> d;
        for (const auto& q : bq)
            d.insert(d.end(), {q.s1, q.s2});
        return d;
    }
};

// A high pass at 38 Hz for 384 kHz, Q 0.5: two poles 6e-4 from 1. Then biquads with a0 not 1.
std::vector<float> tapsNearOne()
{
    const double w = 2 * M_PI * 38.0 / 384000.0, c = std::cos(w), alpha = std::sin(w), g = 1.0 / (1.0 + alpha);
    std::vector<float> t = {float((1 + c) / 2 * g), float(-(1 + c) * g),   float((1 + c) / 2 * g), 1.0f,
                            float(-2 * c * g),      float((1 - alpha) * g)};
    t.insert(t.end(), {1.6f, -2.9f, 1.3f, 1.0f, -1.75f, 0.77f, 0.5f, -0.3f, 0.2f, 1.25f, -0.9f, 0.35f});
    return t;
}

} // namespace

TEST(filters_iir_model, EveryPathFollowsItsDefinitionBitForBit)
{
    ippStaticInit();
    const IirApi apis[4] = {kIir[0],
                            kIir[1],
                            kIir[2],
                            {"dispatched", ippsIIRInitAlloc_BiQuad_32f, ippsIIRSetTaps_32f, ippsIIRSetDlyLine_32f,
                             ippsIIRFree_32f, ippsIIR_32f}};
    const std::vector<float> taps = tapsNearOne(), x = noise(4200, 11);
    const std::vector<std::vector<int>> calls = {{1},    {2, 3}, {4},    {5},    {8},           {9},   {12, 13},
                                                 {1023}, {1024}, {1025}, {2051}, {7, 1030, 64}, {4200}};
    for (int n = 1; n <= 3; ++n)
        for (const auto& parts : calls) {
            ModelCascade model(taps, n);
            const std::vector<float> want =
                inCalls(x, parts, [&](const float* in, float* out, int len) { return model.filter(in, out, len); });
            for (const auto& api : apis) {
                IirState32f* s = nullptr;
                ASSERT_EQ(api.initAlloc(&s, taps.data(), n, nullptr), 0);
                std::vector<float> y = x; // in place, as the second stage runs
                inCalls(x, parts, [&](const float* in, float*, int len) {
                    float* at = y.data() + (in - x.data());
                    return api.iir(at, at, len, s);
                });
                EXPECT_TRUE(sameBits(y, want)) << api.name << " biquads " << n << " calls of " << parts[0];
                EXPECT_TRUE(sameBits(std::vector<float>(s->dlyLine, s->dlyLine + 2 * n), model.delayLine()))
                    << api.name << " biquads " << n << " calls of " << parts[0];
                api.free(s);
            }
        }
}
