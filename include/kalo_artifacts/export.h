/* Symbol visibility of the public interface. The library is built with hidden
 * visibility by default; only declarations marked KALO_API are exported. */
#ifndef KALO_ARTIFACTS_EXPORT_H
#define KALO_ARTIFACTS_EXPORT_H

#if defined(KALO_BUILDING_LIBRARY)
#define KALO_API __attribute__((visibility("default")))
#else
#define KALO_API
#endif

#endif
