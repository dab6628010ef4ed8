# SPDX-License-Identifier: GPL-3.0-or-later
# The About box names the version of the build.
target_compile_definitions(kb_app PRIVATE KB_VERSION="${PROJECT_VERSION}")
