"""Names shared by the connections and the SQL they generate."""

# Columns holding the object id and the object version.
PRIMARY_PARTITION_KEY = "partition_key"
SECONDARY_PARTITION_KEY = "range_key"

# SQL aliases of the object table and of the joined metadata table.
MODEL_TABLE_ALIAS = "t1"
METADATA_TABLE_ALIAS = "m"

# Pseudo-fields a condition may name: the object's address and its metadata.
ADDRESS_FIELD = "_address"
METADATA_FIELD = "_metadata"

# Class names stored in one table of their own, without class versions.
INTERNAL_CLASS_NAMES = frozenset({"metadata", "reference", "transaction"})
# Historical tables never joined with the metadata.
INTERNAL_TABLE_SUFFIXES = ("metadata", "reference")
