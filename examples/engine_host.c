/* A minimal host of the engine in plain C: twenty seconds of synthetic EEG
 * (eyes open, then ten seconds of a strong 10 Hz alpha rhythm, as with eyes
 * closed) go in; the mean relaxation of each half comes out.
 *
 *   cc engine_host.c $(pkg-config --cflags --libs kalo_artifacts) -lm
 */
#include <math.h>
#include <stdio.h>

#include <kalo_artifacts.h>

#define RATE 250
#define SECONDS 20

static const double pi = 3.141592653589793;

/* A little broadband activity plus alpha of the given size, in volts. */
static double eeg(int n, double alphaMicrovolts) {
    double t = (double)n / RATE;
    double uv = alphaMicrovolts * sin(2.0 * pi * 10.0 * t) + 6.0 * sin(2.0 * pi * 5.3 * t + 1.0) +
                8.0 * sin(2.0 * pi * 18.7 * t + 2.0) + 3.0 * sin(2.0 * pi * 31.1 * t);
    return uv * 1e-6;
}

int main(void) {
    _MathLibSetting settings = MathLibSettingDefault;
    _OutStatus status;
    MathLib* engine;
    double relaxation[2] = {0.0, 0.0};
    int counted[2] = {0, 0};
    int n = 0, second;

    settings.sampling_rate = RATE;
    settings.fft_window = 2 * RATE;
    settings.bipolar_mode = true;
    engine = createMathLib(settings, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                           MentalAndSpectralSettingDefault, &status);
    if (engine == NULL) {
        fprintf(stderr, "createMathLib: %s\n", status.error_msg);
        return 1;
    }

    for (second = 0; second < SECONDS; ++second) {
        int half = second < SECONDS / 2 ? 0 : 1;
        _RawChannels block[RATE];
        _MindData levels[150];
        int32_t count = 0, i;
        for (i = 0; i < RATE; ++i, ++n) {
            block[i].left = eeg(n, half == 0 ? 5.0 : 30.0);
            block[i].right = block[i].left;
        }
        if (!MathLibPushData(engine, block, RATE, &status) || !MathLibProcessDataArr(engine, &status) ||
            !MathLibReadMentalDataArrSize(engine, &count, &status) ||
            !MathLibReadMentalDataArr(engine, levels, &count, &status)) {
            fprintf(stderr, "engine: %s\n", status.error_msg);
            freeMathLib(engine, NULL);
            return 1;
        }
        /* The first seconds of each half settle the averages. */
        if (second % (SECONDS / 2) >= 5)
            for (i = 0; i < count; ++i, ++counted[half])
                relaxation[half] += levels[i].inst_relaxation;
    }
    freeMathLib(engine, NULL);

    printf("mean relaxation: eyes open %.1f %%, eyes closed %.1f %%\n", relaxation[0] / counted[0],
           relaxation[1] / counted[1]);
    return relaxation[1] / counted[1] > relaxation[0] / counted[0] ? 0 : 1;
}
