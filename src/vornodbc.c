/* The driver library is assembled from the subsystem archives; the entry
 * points it exports are listed in vorn/vornodbc.map. */
