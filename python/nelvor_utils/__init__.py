"""Query and data model types of the nelvor framework used by the storage layer."""
