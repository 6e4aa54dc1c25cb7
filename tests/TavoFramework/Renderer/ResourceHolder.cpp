// Carries the images the bitmap tests load by resource name.
