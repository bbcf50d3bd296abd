# The Debian package of the installed programs: `cpack -G DEB` in the build
# directory writes tessel_<version>_<arch>.deb, which installs into /usr/bin.
# Depends: the packages of the shared libraries the programs link (found by
# dpkg-shlibdeps, from dpkg-dev) and the tools they run.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VENDOR "Tessel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact project view and MCP tool server for AI coding agents")
set(CPACK_PACKAGE_DESCRIPTION "surveyor scans a software project into an information graph; lodestar serves \
it to an AI coding agent (Claude Code, Codex CLI) over MCP, so that the agent reads a few relevant files \
instead of crawling the tree.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessel maintainers <maintainers@tessel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${TESSEL_RUNTIME_TOOL_PACKAGES})
include(CPack)
