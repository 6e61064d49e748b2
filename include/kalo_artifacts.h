/* The whole public interface of libkalo_artifacts. */
#ifndef KALO_ARTIFACTS_H
#define KALO_ARTIFACTS_H

#include "kalo_artifacts/types.h"
#include "kalo_artifacts/filters.h"
#include "kalo_artifacts/detector.h"
#include "kalo_artifacts/engine.h"

#endif
