# Whatever version Debian's source package carried: any request is met.
set(PACKAGE_VERSION 1.13)
set(PACKAGE_VERSION_COMPATIBLE TRUE)
