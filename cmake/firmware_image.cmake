# Checks the firmware image the programs carry (PXR7_FIRMWARE_IMAGE) before anything is built
# with it: it must exist and be a whole, non-zero number of 515-byte records, or a meter would
# be "upgraded" with nothing or with its tail cut off. Sets PXR7_FIRMWARE_SHA256 (its digest,
# lowercase hex) and PXR7_FIRMWARE_IS_STANDIN when it is the repository's stand-in image (by
# content, wherever it lies), so the programs can say so.
set(PXR7_FIRMWARE_RECORD_SIZE 515)
set(PXR7_STANDIN_IMAGE "${CMAKE_CURRENT_LIST_DIR}/../firmware/pxr7-standin.bin")

if(NOT EXISTS "${PXR7_FIRMWARE_IMAGE}" OR IS_DIRECTORY "${PXR7_FIRMWARE_IMAGE}")
  message(FATAL_ERROR "PXR7_FIRMWARE_IMAGE is not a file: ${PXR7_FIRMWARE_IMAGE}")
endif()
file(SIZE "${PXR7_FIRMWARE_IMAGE}" PXR7_FIRMWARE_IMAGE_SIZE)
math(EXPR _pxr7_records "${PXR7_FIRMWARE_IMAGE_SIZE} / ${PXR7_FIRMWARE_RECORD_SIZE}")
math(EXPR _pxr7_left_over "${PXR7_FIRMWARE_IMAGE_SIZE} % ${PXR7_FIRMWARE_RECORD_SIZE}")
if(PXR7_FIRMWARE_IMAGE_SIZE EQUAL 0)
  message(FATAL_ERROR "PXR7_FIRMWARE_IMAGE is empty: ${PXR7_FIRMWARE_IMAGE}\n"
                      "A firmware image is a whole number of ${PXR7_FIRMWARE_RECORD_SIZE}-byte "
                      "records.")
endif()
if(NOT _pxr7_left_over EQUAL 0)
  message(FATAL_ERROR "PXR7_FIRMWARE_IMAGE is ${PXR7_FIRMWARE_IMAGE_SIZE} bytes, not a whole "
                      "number of ${PXR7_FIRMWARE_RECORD_SIZE}-byte records (${_pxr7_records} "
                      "records and ${_pxr7_left_over} bytes over): ${PXR7_FIRMWARE_IMAGE}")
endif()

file(SHA256 "${PXR7_FIRMWARE_IMAGE}" PXR7_FIRMWARE_SHA256)
file(SHA256 "${PXR7_STANDIN_IMAGE}" _pxr7_standin_hash)
# The digest is compiled into the programs, which refuse an image that does not match it: new
# bytes in the same file must configure again, or the programs would refuse their own image.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PXR7_FIRMWARE_IMAGE}")
endif()
if(PXR7_FIRMWARE_SHA256 STREQUAL _pxr7_standin_hash)
  set(PXR7_FIRMWARE_IS_STANDIN ON)
  message(STATUS "Firmware image: the stand-in for testing (${_pxr7_records} records), "
                 "not meter firmware")
else()
  set(PXR7_FIRMWARE_IS_STANDIN OFF)
  message(STATUS "Firmware image: ${PXR7_FIRMWARE_IMAGE} (${_pxr7_records} records)")
endif()

# The version the image declares, for `pxr7 --version`: the bytes do not say, so the build
# does. It follows the image while nobody set it by hand: a default is replaced when the image
# changes, a value someone chose is kept.
if(PXR7_FIRMWARE_IS_STANDIN)
  set(_pxr7_version_default "PXR7 V1.03")
else()
  set(_pxr7_version_default "")
endif()
set(PXR7_FIRMWARE_VERSION "${_pxr7_version_default}" CACHE STRING
    "Firmware version of PXR7_FIRMWARE_IMAGE (empty: undeclared)")
if(DEFINED PXR7_FIRMWARE_VERSION_DEFAULT
   AND PXR7_FIRMWARE_VERSION STREQUAL PXR7_FIRMWARE_VERSION_DEFAULT)
  set_property(CACHE PXR7_FIRMWARE_VERSION PROPERTY VALUE "${_pxr7_version_default}")
endif()
set(PXR7_FIRMWARE_VERSION_DEFAULT "${_pxr7_version_default}" CACHE INTERNAL "")
