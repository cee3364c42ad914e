// Search URL of a task.
