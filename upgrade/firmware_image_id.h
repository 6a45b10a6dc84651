/* The resource identifier of the firmware image in the program's own module. Plain
   preprocessor lines only: the resource script includes it too. */
#ifndef PXR7_FIRMWARE_IMAGE_ID_H
#define PXR7_FIRMWARE_IMAGE_ID_H

#define PXR7_IMAGE_RESOURCE_ID 267

#endif
