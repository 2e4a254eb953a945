"""The columns the full reading adds after the documented fields of an event,
after `origin`, in the order every rendering gives them."""

FACT_COLUMNS = ("model", "input_tokens", "cache_write_tokens", "cache_write_1h_tokens", "cache_read_tokens",
                "output_tokens", "reasoning_tokens", "cost_usd", "recorded_cost_usd", "tool_name", "tool_call_id",
                "tool_input", "tool_error", "exit_code", "record_id", "message_id", "parent_id", "sidechain",
                "agent_id", "git_branch", "input", "copy_of")
